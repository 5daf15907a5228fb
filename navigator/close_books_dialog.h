#pragma once
// Korvex_F0102: closes several books of the host at once, either discarding
// their changes ("強制終了") or letting the host ask about each ("通常終了").

#include <QDialog>

class QListWidget;
class QMenu;
class QAction;
class QPushButton;

class Korvex_F0102 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F0102";

    explicit Korvex_F0102(QWidget* parent = nullptr);

    void CmdButton_Click(int index);
    void BM_SelAll_Click();
    void BM_SelCancel_Click();

    QListWidget* bookList() const { return Book_List; }
    QPushButton* button(int index) const { return CmdButton[index]; }
    QWidget* clientArea() const { return m_client; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void Form_Resize();

    QWidget* m_client = nullptr;
    QListWidget* Book_List = nullptr;
    QPushButton* CmdButton[3] = {};
    QMenu* BookSel_Menu = nullptr;
    QAction* BM_SelAll = nullptr;
    QAction* BM_SelCancel = nullptr;
    bool m_unloaded = false;
};
