-- Message catalogue of the Korvex work database.
--
-- Code refers to messages by identifier only; the text, buttons and icon, and
-- an optional help topic are data kept here. The build runs this script on
-- korvex.mdb beside the executable: it creates the table when it is missing and
-- replaces its rows, all in one transaction. Nothing else in the file (the
-- result tables and their rows) is touched.
--
-- buttons: button set + icon, classic values
--   0 OK only, 1 OK/Cancel, 4 Yes/No
--   16 critical (something failed), 48 warning (a refusal: the action cannot
--   run as asked), 64 information (a notice)
-- helpfile / context: both set to link the box to a help topic, else NULL.
-- Line breaks inside a prompt are written as char(10).

CREATE TABLE IF NOT EXISTS T_Message (
    messageid TEXT PRIMARY KEY,
    prompt    TEXT,
    buttons   INTEGER,
    helpfile  TEXT,
    context   INTEGER
);

DELETE FROM T_Message;

-- Start-up --------------------------------------------------------------------

-- Another Korvex already runs with this work database (%1: its file).
INSERT INTO T_Message VALUES ('E_M01_002',
    'Korvex は既に起動しています。' || char(10) ||
    '作業データベース %1 は起動中の Korvex が使用しています。' || char(10) ||
    '起動中の Korvex をお使いください。',
    48, NULL, NULL);

-- Main window and its cell-position settings dialog --------------------------

-- Reading the sheets of the selected book failed (e.g. the book was closed in
-- the spreadsheet meanwhile); the book list is then refreshed.
INSERT INTO T_Message VALUES ('E_F01_001',
    'シート一覧を取得できませんでした。' || char(10) ||
    'ブックが閉じられた可能性があります。ブック一覧を再表示します。',
    16, NULL, NULL);

-- The clicked sheet could not be brought to the front (sheet or book gone, or
-- an unusable cell position in the settings).
INSERT INTO T_Message VALUES ('E_F01_002',
    '選択したシートをアクティブにできませんでした。' || char(10) ||
    'シートまたはブックが存在しないか、セル位置の設定が正しくありません。' || char(10) ||
    'シート一覧を再表示します。',
    48, NULL, NULL);

-- The spreadsheet's active book is not the book selected in the list.
INSERT INTO T_Message VALUES ('E_F01_003',
    'Excel のアクティブなブックが、一覧で選択しているブックと異なります。' || char(10) ||
    'ブック一覧を再表示してから操作してください。',
    48, NULL, NULL);

-- Adding Korvex to Calc's menu: done, or what stopped it (%1: the extension
-- file, %2: what the office's installer said).
INSERT INTO T_Message VALUES ('N_F01_001',
    'Calc に Korvex の拡張機能を追加しました。' || char(10) ||
    'Calc を再起動すると「ツール」メニューに「Korvex」が表示されます。',
    64, NULL, NULL);
INSERT INTO T_Message VALUES ('E_F01_004',
    'Calc に Korvex の拡張機能 %1 を追加できませんでした。' || char(10) ||
    '詳細: %2',
    16, NULL, NULL);

-- Search window ----------------------------------------------------------------

-- Filling or selecting in the sheet list failed; the book list is reloaded.
INSERT INTO T_Message VALUES ('E_F02_001',
    '検索対象のシート一覧を取得できませんでした。' || char(10) ||
    'ブック一覧を再表示します。',
    16, NULL, NULL);

-- The target book is not open in the spreadsheet (or no spreadsheet is running).
INSERT INTO T_Message VALUES ('E_F02_002',
    '検索対象のブックが開かれていません。' || char(10) ||
    'ブックを開いてから、ブック一覧を再表示してください。',
    48, NULL, NULL);

-- The print preview of the result list failed; its print settings were reset.
INSERT INTO T_Message VALUES ('E_F02_003',
    '検索結果リストの印刷プレビューを表示できませんでした。' || char(10) ||
    '印刷設定を初期状態に戻しました。もう一度実行してください。',
    16, NULL, NULL);

-- The result list could not be written as a CSV file; nothing else changed.
INSERT INTO T_Message VALUES ('E_F02_004',
    '検索結果リストを CSV ファイルに書き込めませんでした。' || char(10) ||
    '保存先のフォルダーへの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- Result rows could not be written to the work database; the run stopped.
INSERT INTO T_Message VALUES ('E_F02_005',
    '検索結果を作業データベースに書き込めませんでした。' || char(10) ||
    '検索を中止しました。作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- The spreadsheet went away during a search (closed or crashed); the run
-- stopped and the rows recorded until then are kept.
INSERT INTO T_Message VALUES ('E_F02_006',
    '表計算ソフトに接続できなくなったため、検索を中止しました。' || char(10) ||
    'それまでの検索結果は保存されています。' ||
    '表計算ソフトを起動し直してから、ブック一覧を再表示してください。',
    16, NULL, NULL);

-- The search text does not parse as a regular expression; nothing was
-- searched. %1 the text, %2 the parser's message, %3 the character (from 1)
-- where it stopped.
INSERT INTO T_Message VALUES ('E_F02_007',
    '検索文字列「%1」は正規表現として正しくありません（%3 文字目）。' || char(10) ||
    '理由: %2' || char(10) ||
    '検索は実行していません。',
    48, NULL, NULL);

-- A deletion from the result list failed; the table and the list are as they were.
INSERT INTO T_Message VALUES ('E_F02_010',
    '検索結果リストの行を削除できませんでした。一覧は削除前のままです。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- The rows of the last deletion could not be put back; they are still kept.
INSERT INTO T_Message VALUES ('E_F02_011',
    '削除した行を元に戻せませんでした。削除した行は保管したままです。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- An edited result text was not written back, so the row was not changed
-- either. %1 book, %2 sheet, %3 cell address.
INSERT INTO T_Message VALUES ('E_F02_012',
    'セル %3（%1 / %2）の内容が、記録したときから変わっています。' || char(10) ||
    '別のセルを書き換えないよう、セルにも検索結果リストにも書き込みませんでした。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F02_013',
    'セル %3（%1 / %2）は保護されたシートにあるため、書き込めませんでした。' || char(10) ||
    '検索結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F02_014',
    'ブック %1 が開かれていないため、セル %3 に書き込めませんでした。' || char(10) ||
    '検索結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F02_015',
    'ブック %1 にシート %2（またはセル %3）が見つからないため、書き込めませんでした。' || char(10) ||
    '検索結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F02_016',
    '表計算ソフトに接続できないため、セル %3（%1 / %2）に書き込めませんでした。' || char(10) ||
    '検索結果リストも変更していません。',
    48, NULL, NULL);

-- The cell took the edit but the work database refused the row's change.
INSERT INTO T_Message VALUES ('E_F02_017',
    'セル %3（%1 / %2）には書き込みましたが、検索結果リストの行を更新できませんでした。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- Nothing was found.
INSERT INTO T_Message VALUES ('N_F02_001',
    '検索文字列は見つかりませんでした。',
    64, NULL, NULL);

-- A one-by-one search has passed its last occurrence.
INSERT INTO T_Message VALUES ('N_F02_002',
    'これ以上、検索文字列は見つかりません。' || char(10) ||
    '次回は最初のシートから検索します。',
    64, NULL, NULL);

-- Replace window ---------------------------------------------------------------

INSERT INTO T_Message VALUES ('E_F03_001',
    '置換対象のシート一覧を取得できませんでした。' || char(10) ||
    'ブック一覧を再表示します。',
    16, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_002',
    '置換対象のブックが開かれていません。' || char(10) ||
    'ブックを開いてから、ブック一覧を再表示してください。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_003',
    '置換結果リストの印刷プレビューを表示できませんでした。' || char(10) ||
    '印刷設定を初期状態に戻しました。もう一度実行してください。',
    16, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_004',
    '置換結果リストを CSV ファイルに書き込めませんでした。' || char(10) ||
    '保存先のフォルダーへの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- No cell is replaced without its stored row, so the run stopped.
INSERT INTO T_Message VALUES ('E_F03_005',
    '置換結果を作業データベースに書き込めませんでした。' || char(10) ||
    '置換を中止しました。作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- The spreadsheet went away during a replacement. Changes to its books that
-- were not saved may be gone with it; the rows recorded until then are kept.
INSERT INTO T_Message VALUES ('E_F03_006',
    '表計算ソフトに接続できなくなったため、置換を中止しました。' || char(10) ||
    'それまでの置換結果は保存されていますが、保存していないブックの変更は失われた可能性があります。' ||
    '表計算ソフトを起動し直してから、ブック一覧を再表示してください。',
    16, NULL, NULL);

-- As E_F02_007, for the replace window; no cell was changed.
INSERT INTO T_Message VALUES ('E_F03_007',
    '検索文字列「%1」は正規表現として正しくありません（%3 文字目）。' || char(10) ||
    '理由: %2' || char(10) ||
    '置換は実行していません。',
    48, NULL, NULL);

-- A deletion from the result list failed; the table and the list are as they were.
INSERT INTO T_Message VALUES ('E_F03_010',
    '置換結果リストの行を削除できませんでした。一覧は削除前のままです。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- The rows of the last deletion could not be put back; they are still kept.
INSERT INTO T_Message VALUES ('E_F03_011',
    '削除した行を元に戻せませんでした。削除した行は保管したままです。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

-- An edited result text was not written back, so the row was not changed
-- either. %1 book, %2 sheet, %3 cell address.
INSERT INTO T_Message VALUES ('E_F03_012',
    'セル %3（%1 / %2）の内容が、記録したときから変わっています。' || char(10) ||
    '別のセルを書き換えないよう、セルにも置換結果リストにも書き込みませんでした。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_013',
    'セル %3（%1 / %2）は保護されたシートにあるため、書き込めませんでした。' || char(10) ||
    '置換結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_014',
    'ブック %1 が開かれていないため、セル %3 に書き込めませんでした。' || char(10) ||
    '置換結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_015',
    'ブック %1 にシート %2（またはセル %3）が見つからないため、書き込めませんでした。' || char(10) ||
    '置換結果リストも変更していません。',
    48, NULL, NULL);

INSERT INTO T_Message VALUES ('E_F03_016',
    '表計算ソフトに接続できないため、セル %3（%1 / %2）に書き込めませんでした。' || char(10) ||
    '置換結果リストも変更していません。',
    48, NULL, NULL);

-- The cell took the edit but the work database refused the row's change.
INSERT INTO T_Message VALUES ('E_F03_017',
    'セル %3（%1 / %2）には書き込みましたが、置換結果リストの行を更新できませんでした。' || char(10) ||
    '作業データベースの書き込み権限と空き容量を確かめてください。',
    16, NULL, NULL);

INSERT INTO T_Message VALUES ('N_F03_001',
    '置換する文字列は見つかりませんでした。',
    64, NULL, NULL);

INSERT INTO T_Message VALUES ('N_F03_002',
    'これ以上、置換する文字列は見つかりません。' || char(10) ||
    '次回は最初のシートから置換します。',
    64, NULL, NULL);

-- Chosen rows of the replace list were undone; %1 cells went back, the others
-- are counted by why they were left alone. %6 counts cells whose kind of value
-- (text, number, date...) could not be put back as it was, %7 rows whose cell
-- was never replaced because its sheet is protected.
INSERT INTO T_Message VALUES ('N_F03_003',
    '%1 件のセルを置換前の内容に戻しました。' || char(10) ||
    '戻さなかった行: 置換後に変更されたセル %2 件、' ||
    '閉じたブック・見つからないシート %3 件、' ||
    '置換の記録がない行 %4 件、書き込めなかったセル %5 件、' ||
    '保護のため置換されなかった行 %7 件。' || char(10) ||
    '値の種類（文字列・数値・日付など）を元どおりに戻せなかったセル: %6 件。',
    64, NULL, NULL);

-- A replacement ended with cells the spreadsheet refused to change (locked
-- cells of a protected sheet): %1 cells were replaced, %2 were not. Their
-- rows stay in the list.
INSERT INTO T_Message VALUES ('N_F03_004',
    '置換完了: %1 件（保護のため %2 件は置換できませんでした）',
    64, NULL, NULL);

-- Batch print window -----------------------------------------------------------

-- Filling or selecting in a book's sheet list failed; the book lists are reloaded.
INSERT INTO T_Message VALUES ('E_F04_001',
    'シート一覧を取得できませんでした。' || char(10) ||
    'ブック一覧を再表示します。',
    16, NULL, NULL);

-- The chosen (base) book is not open in the spreadsheet.
INSERT INTO T_Message VALUES ('E_F04_002',
    '選択したブックが開かれていません。' || char(10) ||
    'ブックを開いてから、ブック一覧を再表示してください。',
    48, NULL, NULL);

-- Folder search window ---------------------------------------------------------
-- Texts the window shows in place (its status line and its list of files it
-- could not read), not in a box: buttons 0.

-- The folder's file list is still being built.
INSERT INTO T_Message VALUES ('S_F05_001',
    'ファイルの一覧を作成しています...',
    0, NULL, NULL);

-- A run under way: %1 file, %2 sheet, %3 files done, %4 files in all, %5 rows found.
INSERT INTO T_Message VALUES ('S_F05_002',
    '検索中: %1 / %2（%3 / %4 ファイル完了、%5 件）',
    0, NULL, NULL);

-- As S_F05_002 while a file is being opened, before its first sheet.
INSERT INTO T_Message VALUES ('S_F05_013',
    '検索中: %1（%2 / %3 ファイル完了、%4 件）',
    0, NULL, NULL);

-- A run that ended (%1 rows found, %2 files searched of %3, %4 the time taken).
INSERT INTO T_Message VALUES ('S_F05_003',
    '検索完了: %1 件（%2 / %3 ファイル、所要時間 %4）',
    0, NULL, NULL);

-- A run the user stopped; as S_F05_003.
INSERT INTO T_Message VALUES ('S_F05_004',
    '検索を中止しました: %1 件（%2 / %3 ファイル、所要時間 %4）',
    0, NULL, NULL);

-- The time taken, under a minute (%1 seconds with one decimal) and longer
-- (%1 minutes, %2 seconds).
INSERT INTO T_Message VALUES ('S_F05_005',
    '%1 秒',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_006',
    '%1 分 %2 秒',
    0, NULL, NULL);

-- Why a run ended early; the rows found until then are kept.
INSERT INTO T_Message VALUES ('S_F05_007',
    '表計算ソフトに接続できなくなったため、検索を中止しました。',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_008',
    '検索結果を作業データベースに保存できないため、検索を中止しました（%1）。',
    0, NULL, NULL);

-- %1 files were skipped; each is listed below the status line.
INSERT INTO T_Message VALUES ('S_F05_009',
    '読み込めなかったファイル: %1 件',
    0, NULL, NULL);

-- One skipped file: %1 its path, %2 the reason (S_F05_020...).
INSERT INTO T_Message VALUES ('S_F05_010',
    '%1 ― %2',
    0, NULL, NULL);

-- A run refused before it starts: the folder (%1) is not there, or no
-- spreadsheet program runs.
INSERT INTO T_Message VALUES ('S_F05_011',
    'フォルダが見つかりません: %1',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_012',
    '表計算ソフトが起動していません。起動してから検索してください。',
    0, NULL, NULL);

-- Why a file was skipped, by the kind of failure the spreadsheet met.
INSERT INTO T_Message VALUES ('S_F05_020',
    'ファイルが見つかりません（移動または削除されました）',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_021',
    'ファイルを開けません（アクセス権がないか、読み込みに失敗しました）',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_022',
    'パスワードで保護されています',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_023',
    'ファイルが壊れているか、読み込めない形式です',
    0, NULL, NULL);
INSERT INTO T_Message VALUES ('S_F05_024',
    '表計算のブックではありません',
    0, NULL, NULL);
