#pragma once
// "Korvex フォルダ検索": one text searched in every open book, or in every
// workbook file of a folder, in one run (FolderSearch); the occurrences are
// kept in the folder list (w_folder) and shown by the result grid. Options
// and geometry are kept under the window's own section (F05_Info).

#include "folder_search.h"

#include <QWidget>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace korvex::findreplace {

class ResultGrid;

class FolderSearchWindow : public QWidget {
    Q_OBJECT
public:
    explicit FolderSearchWindow(QWidget* parent = nullptr);
    ~FolderSearchWindow() override;

    ResultGrid& grid() const { return *m_grid; }
    // The options menu, with the regular-expression and kana items.
    QMenu* optionsMenu() const { return m_optionsMenu; }
    bool running() const { return m_search != nullptr; }

    void runAll();  // 一括検索
    void stopRun(); // 検索中止

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chooseFont();
    void chooseFolder();
    void applyGridFont();
    void loadSettings();
    void saveSettings() const;
    void showProgress(const FolderProgress& p);
    void showSummary(const FolderSummary& s);
    void updateControls();
    host::FindOptions findOptions() const;

    QLineEdit* m_text;
    QRadioButton* m_openBooks;
    QRadioButton* m_inFolder;
    QLineEdit* m_folder;
    QPushButton* m_browse;
    QLineEdit* m_patterns;
    QCheckBox* m_subfolders;
    QCheckBox* m_matchCase;
    QCheckBox* m_matchByte;
    QCheckBox* m_whole;
    QComboBox* m_lookIn;
    QComboBox* m_order;
    QPushButton* m_run;
    QPushButton* m_stop;
    QLabel* m_status;
    QPlainTextEdit* m_skipped;
    QMenu* m_optionsMenu;
    QAction* m_inFront;
    QAction* m_regex;
    QAction* m_kana;
    ResultGrid* m_grid;
    FolderSearch* m_search = nullptr; // the run going on
};

} // namespace korvex::findreplace
