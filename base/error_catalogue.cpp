#include "base/error_catalogue.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace varnelt {

namespace {

struct CatalogueEntry {
    int number;
    const char* japanese;
    const char* english;
};

constexpr CatalogueEntry kCatalogue[] = {
    {ENOENT,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "ファイルまたはフォルダが見つかりません。"),
     "No such file or folder"},
    {EACCES, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "アクセスが拒否されました。"),
     "Permission denied"},
    {EPERM, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "この操作は許可されていません。"),
     "Operation not permitted"},
    {EBUSY, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "ファイルは使用中です。"), "File in use"},
    {ENOSPC, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "ディスクの空き領域が不足しています。"),
     "No space left on the device"},
    {EROFS, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "読み取り専用のファイルシステムです。"),
     "Read-only file system"},
    {EEXIST, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "同じ名前のファイルが既に存在します。"),
     "A file of that name already exists"},
    {EISDIR, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "フォルダに対しては実行できません。"),
     "Is a folder"},
    {ENOTDIR, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "パスの途中がフォルダではありません。"),
     "A part of the path is not a folder"},
    {ENAMETOOLONG, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "ファイル名が長すぎます。"),
     "File name too long"},
    {EIO, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "入出力エラーが発生しました。"),
     "Input/output error"},
    {EXDEV, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "別のファイルシステムへ移動できません。"),
     "Cannot move across file systems"},
    {EINVAL, QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "引数が正しくありません。"),
     "Invalid argument"},
    {kErrorInvalidPattern,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue",
                       "拡張子フィルタのパターン文字列が正しくありません。"),
     "Invalid pattern in the extension list"},
    {kErrorNoFreeName,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "移動先に使える名前がありません。"),
     "No free name left in the destination"},
    {kErrorIncompleteWrite,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "ファイルを最後まで書き込めませんでした。"),
     "The file could not be written completely"},
    {kErrorNotRegularFile,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "通常のファイルではありません。"),
     "Not a regular file"},
    {kErrorWorkerFailed,
     QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue", "書庫を検査するプロセスを開始できません。"),
     "The archive worker could not be started"},
};

const CatalogueEntry* find(int number) {
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

QString withPath(const QString& description, const QString& path) {
    return path.isEmpty() ? description : description + u' ' + path;
}

}  // namespace

QString DescriptionInUse(const RuntimeError& error) {
    const auto inUse = [](const char* japanese) {
        return QCoreApplication::translate("varnelt::ErrorCatalogue", japanese);
    };
    const CatalogueEntry* entry = find(error.number);
    const QString text = entry != nullptr
                             ? inUse(entry->japanese)
                             : inUse(QT_TRANSLATE_NOOP("varnelt::ErrorCatalogue",
                                                       "予期しないエラーが発生しました。(%1)"))
                                   .arg(QString::fromLocal8Bit(std::strerror(error.number)));
    return withPath(text, error.path);
}

QString EnglishDescription(const RuntimeError& error) {
    const CatalogueEntry* entry = find(error.number);
    const QString reason = entry != nullptr ? QString::fromUtf8(entry->english)
                                            : QString::fromLocal8Bit(std::strerror(error.number));
    return error.path.isEmpty() ? reason : error.path + QStringLiteral(": ") + reason;
}

}  // namespace varnelt
