#pragma once
// Korvex_F0103: the product name and version, and a way to the desktop's
// system-information program.

#include <QDialog>

class QLabel;
class QPushButton;

class Korvex_F0103 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F0103";

    explicit Korvex_F0103(QWidget* parent = nullptr);

    void cmdOK_Click();
    void cmdSysInfo_Click();

    QLabel* versionLabel() const { return lblVersion; }
    QPushButton* sysInfoButton() const { return cmdSysInfo; }
    QPushButton* okButton() const { return cmdOK; }

    void done(int result) override;

private:
    void Form_Load();
    void Form_Unload();

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    bool m_unloaded = false;
};
