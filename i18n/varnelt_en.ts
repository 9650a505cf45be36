<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>varnelt::AboutDialog</name>
    <message>
        <source>バージョン情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>このソフトは、フリーソフトです</source>
        <translation>This program is free software</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
</context>
<context>
    <name>varnelt::ArchiverSet</name>
    <message>
        <source>未導入</source>
        <translation> none</translation>
    </message>
</context>
<context>
    <name>varnelt::CheckMessages</name>
    <message>
        <source>not installed</source>
        <translation>not installed</translation>
    </message>
    <message>
        <source>Try &apos;varnelt-check --help&apos;.</source>
        <translation>Try &apos;varnelt-check --help&apos;.</translation>
    </message>
    <message>
        <source>the move destination: %1</source>
        <translation>the move destination: %1</translation>
    </message>
    <message>
        <source>the move destination: %1 (--create-dir makes it)</source>
        <translation>the move destination: %1 (--create-dir makes it)</translation>
    </message>
    <message>
        <source>cannot write the log: %1</source>
        <translation>cannot write the log: %1</translation>
    </message>
    <message>
        <source>Usage: varnelt-check [options] [--] PATH...

Tests every archive among the given files and folders and writes a record of each
verdict. A PATH that is a folder registers its own regular files; hidden (dot) files,
pipes, sockets and devices are never registered. Options may also follow the paths;
&quot;--&quot; ends the options, so that a PATH may begin with &quot;-&quot;.

What to test and how to judge:
  --formats LIST  formats to test with, any of lzh,zip,cab,tar,rar,bga,yz1,gca,7z
                  (default: every format whose library is installed). A file is
                  offered to them in the order lzh, zip, cab, tar, rar, bga, yz1,
                  gca, 7z until one accepts it.
  --rules LIST    what makes an archive bad, any of
                    broken     damaged, or read by no chosen format (default)
                    password   encrypted ZIP whose password was not given
                    extension  extension does not fit the content
                    count      holds at least N stored files (see --count)
                    name       single stored file named otherwise than the archive;
                               only together with count and N = 2
  --count N       the count rule&apos;s N, 2 to 999999 (default 2)
  --filter MODE   off (default: every file), auto (extensions of the chosen formats,
                  and exe), or a list of extension patterns such as &quot;zip;lzh&quot;
                  (* any run, ? one character, # one digit, [a-c] and [!a-c])
  -r              also register the files of every subfolder (links to folders are
                  not followed)
  --jobs N        test N files at once (default: the number of cores); records are
                  still written in registration order
  --time-limit S  each file&apos;s test may take S seconds plus one second per MB of
                  the file (default 60; 0: no limit)
  --memory-limit MB  each test may use MB megabytes of memory (default 2048;
                  0: no limit)

What happens to a bad archive (never to a missing or unreadable file):
  --action ACTION leave (default), move (to --move-to), trash (the freedesktop
                  trash of the file&apos;s own file system, with its .trashinfo file) or
                  delete (at once, without a question: the option is the consent)
  --move-to DIR   where move puts bad archives; a taken name becomes &quot;name (1).ext&quot;,
                  &quot;name (2).ext&quot;, ...; no file is ever replaced, and a copy to another
                  file system is synced before the original is removed
  --create-dir    create DIR (and its parents) when it is missing
A file that cannot be disposed of stays where it was; the run then stops with the
system&apos;s reason and the path, and the exit status is 2.

Output:
  --format FORMAT log (default): a header record, then one record per file with its
                  name, folder, size, modification time and verdict; five quoted
                  fields, CR LF line ends, UTF-8.
                  jsonl: one JSON object per line and file, in registration order:
                  path, name, folder, size, mtime (ISO 8601 with offset), verdict,
                  kind (good, broken, password, extension, count, name, missing,
                  unreadable), format (the format that decided, or null), reason
                  (why the archive failed or could not be read, or null), disposal
                  (null, or {&quot;action&quot;: move|trash|delete, &quot;to&quot;: path or null}).
                  A path whose bytes are not UTF-8 is given decoded (UTF-8, else
                  CP932, else U+FFFD) and its exact bytes follow in base64 as
                  &quot;path_bytes&quot; (&quot;to_bytes&quot; in disposal): base64 -d restores them.
  --log FILE      write the records to FILE instead of standard output
  --summary MODE  text (default): the line &quot;good N, bad N, missing N, unreadable N,
                  total N, elapsed HH:MM:SS&quot; (with the files moved, trashed or
                  deleted); json: the same as one JSON object. On standard error.
  -q, --quiet     nothing on standard error but errors: no progress, no notes on
                  single files and no summary unless --summary json is given
  -h, --help      show this text
  --version       show the version of the program and of each archiver library

A file that cannot be read (no permission, a failing disk) is never judged: its record
says so and the system&apos;s reason goes to standard error.
Archives are tested in separate worker processes. A test that crashes its library or
passes a limit fails like a damaged archive, and the reason goes to standard error.
Each record is written as soon as it and every record before it are decided. On
SIGINT or SIGTERM no further file is begun, the tests under way are given up, the
summary is printed and the exit status is 130.

Exit status: 0 every file good, 1 at least one bad, missing or unreadable file, 2 bad
usage or an error.
</source>
        <translation>Usage: varnelt-check [options] [--] PATH...

Tests every archive among the given files and folders and writes a record of each
verdict. A PATH that is a folder registers its own regular files; hidden (dot) files,
pipes, sockets and devices are never registered. Options may also follow the paths;
&quot;--&quot; ends the options, so that a PATH may begin with &quot;-&quot;.

What to test and how to judge:
  --formats LIST  formats to test with, any of lzh,zip,cab,tar,rar,bga,yz1,gca,7z
                  (default: every format whose library is installed). A file is
                  offered to them in the order lzh, zip, cab, tar, rar, bga, yz1,
                  gca, 7z until one accepts it.
  --rules LIST    what makes an archive bad, any of
                    broken     damaged, or read by no chosen format (default)
                    password   encrypted ZIP whose password was not given
                    extension  extension does not fit the content
                    count      holds at least N stored files (see --count)
                    name       single stored file named otherwise than the archive;
                               only together with count and N = 2
  --count N       the count rule&apos;s N, 2 to 999999 (default 2)
  --filter MODE   off (default: every file), auto (extensions of the chosen formats,
                  and exe), or a list of extension patterns such as &quot;zip;lzh&quot;
                  (* any run, ? one character, # one digit, [a-c] and [!a-c])
  -r              also register the files of every subfolder (links to folders are
                  not followed)
  --jobs N        test N files at once (default: the number of cores); records are
                  still written in registration order
  --time-limit S  each file&apos;s test may take S seconds plus one second per MB of
                  the file (default 60; 0: no limit)
  --memory-limit MB  each test may use MB megabytes of memory (default 2048;
                  0: no limit)

What happens to a bad archive (never to a missing or unreadable file):
  --action ACTION leave (default), move (to --move-to), trash (the freedesktop
                  trash of the file&apos;s own file system, with its .trashinfo file) or
                  delete (at once, without a question: the option is the consent)
  --move-to DIR   where move puts bad archives; a taken name becomes &quot;name (1).ext&quot;,
                  &quot;name (2).ext&quot;, ...; no file is ever replaced, and a copy to another
                  file system is synced before the original is removed
  --create-dir    create DIR (and its parents) when it is missing
A file that cannot be disposed of stays where it was; the run then stops with the
system&apos;s reason and the path, and the exit status is 2.

Output:
  --format FORMAT log (default): a header record, then one record per file with its
                  name, folder, size, modification time and verdict; five quoted
                  fields, CR LF line ends, UTF-8.
                  jsonl: one JSON object per line and file, in registration order:
                  path, name, folder, size, mtime (ISO 8601 with offset), verdict,
                  kind (good, broken, password, extension, count, name, missing,
                  unreadable), format (the format that decided, or null), reason
                  (why the archive failed or could not be read, or null), disposal
                  (null, or {&quot;action&quot;: move|trash|delete, &quot;to&quot;: path or null}).
                  A path whose bytes are not UTF-8 is given decoded (UTF-8, else
                  CP932, else U+FFFD) and its exact bytes follow in base64 as
                  &quot;path_bytes&quot; (&quot;to_bytes&quot; in disposal): base64 -d restores them.
  --log FILE      write the records to FILE instead of standard output
  --summary MODE  text (default): the line &quot;good N, bad N, missing N, unreadable N,
                  total N, elapsed HH:MM:SS&quot; (with the files moved, trashed or
                  deleted); json: the same as one JSON object. On standard error.
  -q, --quiet     nothing on standard error but errors: no progress, no notes on
                  single files and no summary unless --summary json is given
  -h, --help      show this text
  --version       show the version of the program and of each archiver library

A file that cannot be read (no permission, a failing disk) is never judged: its record
says so and the system&apos;s reason goes to standard error.
Archives are tested in separate worker processes. A test that crashes its library or
passes a limit fails like a damaged archive, and the reason goes to standard error.
Each record is written as soon as it and every record before it are decided. On
SIGINT or SIGTERM no further file is begun, the tests under way are given up, the
summary is printed and the exit status is 130.

Exit status: 0 every file good, 1 at least one bad, missing or unreadable file, 2 bad
usage or an error.
</translation>
    </message>
    <message>
        <source>unknown format &apos;%1&apos; in --formats</source>
        <translation>unknown format &apos;%1&apos; in --formats</translation>
    </message>
    <message>
        <source>format %1: its library %2 is not installed</source>
        <translation>format %1: its library %2 is not installed</translation>
    </message>
    <message>
        <source>unknown rule &apos;%1&apos; in --rules</source>
        <translation>unknown rule &apos;%1&apos; in --rules</translation>
    </message>
    <message>
        <source>--filter &apos;%1&apos; holds an invalid pattern (an unclosed &apos;[&apos;)</source>
        <translation>--filter &apos;%1&apos; holds an invalid pattern (an unclosed &apos;[&apos;)</translation>
    </message>
    <message>
        <source>--%1 takes one of %2, not &apos;%3&apos;</source>
        <translation>--%1 takes one of %2, not &apos;%3&apos;</translation>
    </message>
    <message>
        <source>--%1 takes a number from %2 to %3, not &apos;%4&apos;</source>
        <translation>--%1 takes a number from %2 to %3, not &apos;%4&apos;</translation>
    </message>
    <message>
        <source>--action move needs --move-to DIR</source>
        <translation>--action move needs --move-to DIR</translation>
    </message>
    <message>
        <source>--move-to and --create-dir are only for --action move</source>
        <translation>--move-to and --create-dir are only for --action move</translation>
    </message>
    <message>
        <source>no PATH given</source>
        <translation>no PATH given</translation>
    </message>
    <message>
        <source>no archiver library is installed</source>
        <translation>no archiver library is installed</translation>
    </message>
</context>
<context>
    <name>varnelt::ErrorCatalogue</name>
    <message>
        <source>ファイルまたはフォルダが見つかりません。</source>
        <translation>No such file or folder</translation>
    </message>
    <message>
        <source>アクセスが拒否されました。</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <source>この操作は許可されていません。</source>
        <translation>Operation not permitted</translation>
    </message>
    <message>
        <source>ファイルは使用中です。</source>
        <translation>File in use</translation>
    </message>
    <message>
        <source>ディスクの空き領域が不足しています。</source>
        <translation>No space left on the device</translation>
    </message>
    <message>
        <source>読み取り専用のファイルシステムです。</source>
        <translation>Read-only file system</translation>
    </message>
    <message>
        <source>同じ名前のファイルが既に存在します。</source>
        <translation>A file of that name already exists</translation>
    </message>
    <message>
        <source>フォルダに対しては実行できません。</source>
        <translation>Is a folder</translation>
    </message>
    <message>
        <source>パスの途中がフォルダではありません。</source>
        <translation>A part of the path is not a folder</translation>
    </message>
    <message>
        <source>ファイル名が長すぎます。</source>
        <translation>File name too long</translation>
    </message>
    <message>
        <source>入出力エラーが発生しました。</source>
        <translation>Input/output error</translation>
    </message>
    <message>
        <source>別のファイルシステムへ移動できません。</source>
        <translation>Cannot move across file systems</translation>
    </message>
    <message>
        <source>引数が正しくありません。</source>
        <translation>Invalid argument</translation>
    </message>
    <message>
        <source>拡張子フィルタのパターン文字列が正しくありません。</source>
        <translation>Invalid pattern in the extension list</translation>
    </message>
    <message>
        <source>移動先に使える名前がありません。</source>
        <translation>No free name left in the destination</translation>
    </message>
    <message>
        <source>ファイルを最後まで書き込めませんでした。</source>
        <translation>The file could not be written completely</translation>
    </message>
    <message>
        <source>通常のファイルではありません。</source>
        <translation>Not a regular file</translation>
    </message>
    <message>
        <source>書庫を検査するプロセスを開始できません。</source>
        <translation>The archive worker could not be started</translation>
    </message>
    <message>
        <source>予期しないエラーが発生しました。(%1)</source>
        <translation>An unexpected error occurred (%1)</translation>
    </message>
</context>
<context>
    <name>varnelt::MainWindow</name>
    <message>
        <source>検査対象書庫ファイル</source>
        <translation>Archives to check</translation>
    </message>
    <message>
        <source>異常書庫ファイルの定義</source>
        <translation>What makes an archive bad</translation>
    </message>
    <message>
        <source>検査対象拡張子フィルタ</source>
        <translation>Extension filter</translation>
    </message>
    <message>
        <source>異常書庫ファイルに対しての処理</source>
        <translation>What to do with bad archives</translation>
    </message>
    <message>
        <source>2～999999までの値を入力して下さい</source>
        <translation>Enter a number from 2 to 999999</translation>
    </message>
    <message>
        <source>つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ</source>
        <translation>or more stored files</translation>
    </message>
    <message>
        <source>使わない</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>使う(手動追加)</source>
        <translation>On (manual)</translation>
    </message>
    <message>
        <source>使う（自動追加）</source>
        <translation>On (auto)</translation>
    </message>
    <message>
        <source>;(ｾﾐｺﾛﾝ)区切りで複数の拡張子が指定可能(例 exe;lzh)</source>
        <translation>Several extensions, separated by semicolons (e.g. exe;lzh)</translation>
    </message>
    <message>
        <source>何もしない</source>
        <translation>Leave</translation>
    </message>
    <message>
        <source>ごみ箱へ捨てる</source>
        <translation>Trash</translation>
    </message>
    <message>
        <source>直接削除する</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>移動する</source>
        <translation>Move to</translation>
    </message>
    <message>
        <source>フォルダをここへドラッグ＆ドロップで登録が可能です</source>
        <translation>Drop a folder here to choose it</translation>
    </message>
    <message>
        <source>フォルダ選択</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>全クリア</source>
        <translation>Clear all</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>検査ファイル登録</source>
        <translation>Add a file</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <translation>Choose a file</translation>
    </message>
    <message>
        <source>検査フォルダ登録</source>
        <translation>Add a folder</translation>
    </message>
    <message>
        <source>サブフォルダも検査対象とする</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>実行(&amp;S)</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>正常書庫 </source>
        <translation>Good </translation>
    </message>
    <message>
        <source>異常書庫 </source>
        <translation>Bad </translation>
    </message>
    <message>
        <source>検査総数 </source>
        <translation>Total </translation>
    </message>
    <message>
        <source>検査時間 </source>
        <translation>Time </translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>名前をつけてログの保存(&amp;A)</source>
        <translation>Save Log &amp;As...</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>DLLを最新の状態に更新する(&amp;D)</source>
        <translation>&amp;Detect the Libraries Again</translation>
    </message>
    <message>
        <source>オプション(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>処理中はログを非表示にする(高速化)</source>
        <translation>Hide the List While Checking (Faster)</translation>
    </message>
    <message>
        <source>最前面に表示する(&amp;T)</source>
        <translation>Always on &amp;Top</translation>
    </message>
    <message>
        <source>設定を非表示にする(&amp;H)</source>
        <translation>&amp;Hide the Settings</translation>
    </message>
    <message>
        <source>同時に検査する数(&amp;J)</source>
        <translation>Files Checked at Once (&amp;J)</translation>
    </message>
    <message>
        <source>自動(&amp;A)</source>
        <translation>&amp;Automatic</translation>
    </message>
    <message>
        <source>設定を初期化する(&amp;D)</source>
        <translation>Reset the Settings (&amp;D)</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>パスをコピー</source>
        <translation>Copy Path</translation>
    </message>
    <message>
        <source>選択した行を削除</source>
        <translation>Remove Selected Rows</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>実行時エラー &apos;%1&apos;:
%2</source>
        <translation>Runtime error &apos;%1&apos;:
%2</translation>
    </message>
    <message>
        <source>検査するファイルが登録されていません。</source>
        <translation>No files are registered for checking.</translation>
    </message>
    <message>
        <source>移動先フォルダが存在しません</source>
        <translation>Destination folder missing</translation>
    </message>
    <message>
        <source>異常書庫ファイルの移動先フォルダが存在しません。
移動先フォルダを作成して、続行しますか？</source>
        <translation>The folder to move bad archives to does not exist.
Create it and go on?</translation>
    </message>
    <message>
        <source>移動先フォルダの作成に失敗しました。</source>
        <translation>The destination folder could not be created.</translation>
    </message>
    <message>
        <source>確認</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>異常書庫ファイルに対して[直接削除する]の設定になっています。
この設定で削除されたファイルは復元できません。
続行しますか？</source>
        <translation>Bad archives are set to be deleted [Delete].
Files deleted this way cannot be restored.
Go on?</translation>
    </message>
    <message>
        <source>検査中の %1 ﾌｧｲﾙの終了を待っています (もう一度[停止]で中断)</source>
        <translation>Waiting for the %1 files under test (press [Stop] again to abort)</translation>
    </message>
    <message>
        <source>index.html</source>
        <comment>the help page&apos;s file</comment>
        <translation>index.en.html</translation>
    </message>
    <message>
        <source>ヘルプを表示できませんでした。
次のファイルをブラウザで開いて下さい。
%1</source>
        <translation>The help could not be shown.
Please open this file in a browser:
%1</translation>
    </message>
    <message>
        <source>ファイルを保存</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>%1 は既に存在します。
上書きしますか？</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
    <message>
        <source>保存するログがありません</source>
        <translation>There is no log to save</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>ログの保存中に停止ボタンが押されました</source>
        <translation>Stop was pressed while the log was being saved</translation>
    </message>
    <message>
        <source>ログを保存しました</source>
        <translation>The log was saved</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>全ファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>検査するフォルダを選択して下さい。</source>
        <translation>Choose a folder to check.</translation>
    </message>
    <message>
        <source>異常書庫ファイルの移動先のフォルダを選択して下さい。</source>
        <translation>Choose the folder to move bad archives to.</translation>
    </message>
    <message>
        <source>フォルダを開けませんでした。
%1</source>
        <translation>The folder could not be opened.
%1</translation>
    </message>
</context>
<context>
    <name>varnelt::TargetListModel</name>
    <message>
        <source>ファイル名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>フォルダ名</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>検査結果</source>
        <translation>Result</translation>
    </message>
</context>
<context>
    <name>varnelt::TestFailure</name>
    <message>
        <source>書庫ライブラリが異常終了しました (シグナル %1)</source>
        <translation>the archive library crashed (signal %1)</translation>
    </message>
    <message>
        <source>書庫ライブラリが検査の途中で終了しました (終了コード %1)</source>
        <translation>the archive library ended the test (exit status %1)</translation>
    </message>
    <message>
        <source>検査が制限時間 %1 秒を超えました</source>
        <translation>the test took longer than %1 s</translation>
    </message>
    <message>
        <source>検査がメモリの上限 %1 MB を超えました</source>
        <translation>the test needed more than %1 MB of memory</translation>
    </message>
</context>
<context>
    <name>varnelt::Verdicts</name>
    <message>
        <source>正常な書庫ﾌｧｲﾙ</source>
        <translation>Good archive</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙが存在しません</source>
        <translation>File not found</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙを読み込めません</source>
        <translation>File cannot be read</translation>
    </message>
    <message>
        <source>破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ</source>
        <translation>Damaged or unsupported archive</translation>
    </message>
    <message>
        <source>ﾊﾟｽﾜｰﾄﾞを入力出来なかったﾊﾟｽﾜｰﾄﾞ付き書庫ﾌｧｲﾙ</source>
        <translation>Password-protected archive</translation>
    </message>
    <message>
        <source>拡張子が間違っている書庫ﾌｧｲﾙ</source>
        <translation>Wrong extension</translation>
    </message>
    <message>
        <source>           つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ</source>
        <translation>           or more stored files</translation>
    </message>
    <message>
        <source>拡張子を除く格納ﾌｧｲﾙ名と違う名前の書庫ﾌｧｲﾙ</source>
        <translation>Named unlike its stored file</translation>
    </message>
</context>
</TS>
