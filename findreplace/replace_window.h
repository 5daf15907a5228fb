#pragma once
// Korvex_F03, the replace window. Opened modeless and without owner by the main
// window, at most once; it tells the rest of the program that it is loaded and
// which window it is through F03_Loaded / F03_hWnd, which the always-in-front
// arrangement and the main window's tool commands rely on.

#include <QMainWindow>

class Korvex_F03 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F03";
    static constexpr const char* Caption = "Korvex 置換";

    explicit Korvex_F03(QWidget* parent = nullptr);
    ~Korvex_F03() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Window load and unload. The controls, options, result grid and engines of
    // the replace window are built and restored in Form_Load and saved in
    // Form_Unload; Form_Unload may refuse (return false) while a run is going on.
    void Form_Load();
    bool Form_Unload();
    void markUnloaded();
};
