#pragma once
// Korvex_F00: the small window shown while start-up compacts and opens the work
// database and the main window reads the spreadsheet's books.

#include <QWidget>

class QFrame;
class QLabel;

class Korvex_F00 : public QWidget {
    Q_OBJECT
public:
    explicit Korvex_F00(QWidget* parent = nullptr);

    // Shows the current start-up step and paints it at once: the caller keeps
    // the thread busy, so an ordinary update would not be seen until later.
    void Form_LoadMsg(const QString& L_Msg);

    QLabel* Label_Msg() const { return m_labelMsg; }

private:
    void Form_Load();

    QFrame* m_frame1 = nullptr;
    QLabel* m_picIcon = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_labelMsg = nullptr;
};
