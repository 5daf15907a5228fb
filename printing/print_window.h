#pragma once
// Korvex_F04, the batch page-setup and print window, shown modally and owned
// by the main window.

#include <QDialog>

class Korvex_F04 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F04";
    static constexpr const char* Caption = "印刷設定";

    explicit Korvex_F04(QWidget* parent = nullptr);

    void done(int result) override;

private:
    // The base/target book and sheet lists, the page-setup copy and the
    // print-out are built and restored in Form_Load and saved in Form_Unload;
    // Form_Unload may refuse (return false) while a copy is running.
    void Form_Load();
    bool Form_Unload();
};
