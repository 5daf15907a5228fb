#pragma once
// Korvex_F0101: whether, and to which cell, the host's cursor moves after a
// sheet is chosen in the main window.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class Korvex_F0101 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F0101";

    explicit Korvex_F0101(QWidget* parent = nullptr);

    void CellGet_Cmd_Click();
    void OKCancel_Cmd_Click(int index);

    QCheckBox* moveBox() const { return S_Move; }
    QLineEdit* cellField() const { return CValue; }
    QPushButton* cellGetButton() const { return CellGet_Cmd; }
    QPushButton* button(int index) const { return OKCancel_Cmd[index]; }

    void done(int result) override;

private:
    void Form_Load();
    void Form_Unload();

    QCheckBox* S_Move = nullptr;
    QLineEdit* CValue = nullptr;
    QPushButton* CellGet_Cmd = nullptr;
    QPushButton* OKCancel_Cmd[2] = {};
    bool m_unloaded = false;
};

namespace korvex::navigator {
// The active cell's address as the field takes it: absolute column, relative
// row, the column's "$" dropped ("$AB7" -> "AB7").
QString cellFieldText(const QString& address);
} // namespace korvex::navigator
