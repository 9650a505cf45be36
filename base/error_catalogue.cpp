#include "base/error_catalogue.h"

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
    {ENOENT, "ファイルまたはフォルダが見つかりません。", "No such file or folder"},
    {EACCES, "アクセスが拒否されました。", "Permission denied"},
    {EPERM, "この操作は許可されていません。", "Operation not permitted"},
    {EBUSY, "ファイルは使用中です。", "File in use"},
    {ENOSPC, "ディスクの空き領域が不足しています。", "No space left on the device"},
    {EROFS, "読み取り専用のファイルシステムです。", "Read-only file system"},
    {EEXIST, "同じ名前のファイルが既に存在します。", "A file of that name already exists"},
    {EISDIR, "フォルダに対しては実行できません。", "Is a folder"},
    {ENOTDIR, "パスの途中がフォルダではありません。", "A part of the path is not a folder"},
    {ENAMETOOLONG, "ファイル名が長すぎます。", "File name too long"},
    {EIO, "入出力エラーが発生しました。", "Input/output error"},
    {EXDEV, "別のファイルシステムへ移動できません。", "Cannot move across file systems"},
    {EINVAL, "引数が正しくありません。", "Invalid argument"},
    {kErrorInvalidPattern, "拡張子フィルタのパターン文字列が正しくありません。",
     "Invalid pattern in the extension list"},
    {kErrorNoFreeName, "移動先に使える名前がありません。", "No free name left in the destination"},
    {kErrorIncompleteWrite, "ファイルを最後まで書き込めませんでした。",
     "The file could not be written completely"},
    {kErrorNotRegularFile, "通常のファイルではありません。", "Not a regular file"},
    {kErrorWorkerFailed, "書庫を検査するプロセスを開始できません。",
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

QString JapaneseDescription(const RuntimeError& error) {
    const CatalogueEntry* entry = find(error.number);
    const QString text = entry != nullptr
                             ? QString::fromUtf8(entry->japanese)
                             : QStringLiteral("予期しないエラーが発生しました。(%1)")
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
