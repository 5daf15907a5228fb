#include "desktop_ui.h"

#include "paged_preview.h"
#include "window_band.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStringListModel>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

namespace korvex {
namespace {

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int answer;
    const char* text; // the Japanese label, whatever translations are installed
};

// The buttons of a style, in the order they are shown.
QList<ButtonSpec> buttonsFor(int style) {
    switch (style & 0x0F) {
    case mb::OkCancel:
        return {{QMessageBox::Ok, answer::Ok, "OK"},
                {QMessageBox::Cancel, answer::Cancel, "キャンセル"}};
    case mb::AbortRetryIgnore:
        return {{QMessageBox::Abort, answer::Abort, "中止(&A)"},
                {QMessageBox::Retry, answer::Retry, "再試行(&R)"},
                {QMessageBox::Ignore, answer::Ignore, "無視(&I)"}};
    case mb::YesNoCancel:
        return {{QMessageBox::Yes, answer::Yes, "はい(&Y)"},
                {QMessageBox::No, answer::No, "いいえ(&N)"},
                {QMessageBox::Cancel, answer::Cancel, "キャンセル"}};
    case mb::YesNo:
        return {{QMessageBox::Yes, answer::Yes, "はい(&Y)"},
                {QMessageBox::No, answer::No, "いいえ(&N)"}};
    case mb::RetryCancel:
        return {{QMessageBox::Retry, answer::Retry, "再試行(&R)"},
                {QMessageBox::Cancel, answer::Cancel, "キャンセル"}};
    default:
        return {{QMessageBox::Ok, answer::Ok, "OK"}};
    }
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
    case mb::Critical:
        return QMessageBox::Critical;
    case mb::Question:
        return QMessageBox::Question;
    case mb::Exclamation:
        return QMessageBox::Warning;
    case mb::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Qt's font dialog, shown as a part of the font-and-colour dialog below. Its
// own ways out (Esc, Enter) are the outer dialog's: on its own it would close
// just itself and leave the outer window empty.
class EmbeddedFontDialog : public QFontDialog {
public:
    EmbeddedFontDialog(const QFont& initial, QDialog* outer) : QFontDialog(initial, outer) {
        setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
        setWindowFlags(Qt::Widget);
        // Italic and oblique faces carry the same Japanese name (斜体), which
        // would list the name twice; the list keeps one, and choosing it gives
        // the face the font database finds first under that name.
        const QList<QListView*> lists =
            findChildren<QListView*>(QString(), Qt::FindDirectChildrenOnly);
        if (lists.size() == 3) {
            QListView* view = lists.at(1);
            if (auto* styles = qobject_cast<QStringListModel*>(view->model())) {
                const auto unique = [styles, view] {
                    QStringList names = styles->stringList();
                    if (names.removeDuplicates() == 0)
                        return;
                    const QString current = view->currentIndex().data().toString();
                    styles->setStringList(names);
                    if (names.contains(current))
                        view->setCurrentIndex(styles->index(int(names.indexOf(current))));
                };
                connect(styles, &QAbstractItemModel::modelReset, this, unique);
                unique();
            }
        }
    }

protected:
    void done(int result) override {
        if (auto* outer = qobject_cast<QDialog*>(parentWidget()))
            outer->done(result);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->ignore(); // on to the outer dialog's default button
            return;
        }
        QFontDialog::keyPressEvent(event);
    }
};

// Qt's file model writes sizes, kinds and dates in the desktop's language
// whatever the program speaks ("38 bytes", "Folder", "12/8/26 8:14 AM"); the
// open dialog shows these columns in the program's own locale instead.
class FileDetailsInProgramLocale : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const QLocale locale;
        switch (index.column()) {
        case 1:
            return files->isDir(source)
                       ? QString()
                       : locale.formattedDataSize(files->size(source), 1,
                                                  QLocale::DataSizeTraditionalFormat);
        case 2:
            return files->isDir(source) ? QStringLiteral("フォルダー") : files->type(source);
        default:
            return locale.toString(files->lastModified(source), QLocale::ShortFormat);
        }
    }
};

// Qt's font dialog has no colour, while the list fonts carry one; this wraps
// the (non-native) font dialog and adds a colour button below it, the way the
// platform font dialogs of office programs offer colour next to the effects.
class FontAndColorDialog : public QDialog {
public:
    FontAndColorDialog(QWidget* parent, const QFont& initialFont, const QColor& initialColor)
        : QDialog(parent), m_color(initialColor.isValid() ? initialColor : QColor(Qt::black)),
          m_initialSize(initialFont.pointSizeF()) {
        setWindowTitle(QStringLiteral("フォント"));
        m_fonts = new EmbeddedFontDialog(initialFont, this);
        translate(m_fonts);

        auto* colorLabel = new QLabel(QStringLiteral("色(&C):"), this);
        m_colorButton = new QPushButton(this);
        m_colorButton->setMinimumWidth(80);
        colorLabel->setBuddy(m_colorButton);
        connect(m_colorButton, &QPushButton::clicked, this, [this] {
            const QColor c = QColorDialog::getColor(m_color, this, QStringLiteral("色の設定"));
            if (c.isValid()) {
                m_color = c;
                updateColorButton();
            }
        });
        updateColorButton();

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
        buttons->button(QDialogButtonBox::Ok)->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* colorRow = new QHBoxLayout;
        colorRow->addWidget(colorLabel);
        colorRow->addWidget(m_colorButton);
        colorRow->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_fonts);
        layout->addLayout(colorRow);
        layout->addWidget(buttons);
    }

    QFont font() const {
        QFont font = m_fonts->currentFont();
        // The dialog knows whole point sizes only and shows 10.5 as 11; a size
        // the user left alone keeps its fraction.
        if (m_initialSize > 0 && font.pointSize() == qRound(m_initialSize))
            font.setPointSizeF(m_initialSize);
        return font;
    }
    QColor color() const { return m_color; }

private:
    // Qt's own translations may be missing; the dialog's labels are put in
    // Japanese here so the dialog reads like the rest of the program. Labels
    // that are not recognised are left as they are.
    static void translate(QWidget* dialog) {
        static const QList<QPair<QString, QString>> texts = {
            {QStringLiteral("&Font"), QStringLiteral("フォント名(&F):")},
            {QStringLiteral("Font st&yle"), QStringLiteral("スタイル(&Y):")},
            {QStringLiteral("&Size"), QStringLiteral("サイズ(&S):")},
            {QStringLiteral("Effects"), QStringLiteral("文字飾り")},
            {QStringLiteral("Stri&keout"), QStringLiteral("取り消し線(&K)")},
            {QStringLiteral("&Underline"), QStringLiteral("下線(&U)")},
            {QStringLiteral("Sample"), QStringLiteral("サンプル")},
            {QStringLiteral("Wr&iting System"), QStringLiteral("文字セット(&R):")},
        };
        const auto japanese = [](const QString& text) {
            for (const auto& t : texts) {
                if (t.first == text)
                    return t.second;
            }
            return text;
        };
        for (QLabel* l : dialog->findChildren<QLabel*>())
            l->setText(japanese(l->text()));
        for (QCheckBox* c : dialog->findChildren<QCheckBox*>())
            c->setText(japanese(c->text()));
        for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
            g->setTitle(japanese(g->title()));
    }

    void updateColorButton() {
        QPixmap swatch(32, 14);
        swatch.fill(m_color);
        m_colorButton->setIcon(QIcon(swatch));
        m_colorButton->setIconSize(swatch.size());
        m_colorButton->setText(m_color.name(QColor::HexRgb));
    }

    QFontDialog* m_fonts = nullptr;
    QPushButton* m_colorButton = nullptr;
    QColor m_color;
    double m_initialSize = -1;
};

class DesktopUi : public DialogSeam {
public:
    int message(const MessageRequest& request) override {
        // Over the window in use, with no window kept in front above it.
        QWidget* parent = WindowBand::instance().messageParent();
        const WindowBand::StepOut out(parent);
        QMessageBox box(parent);
        box.setWindowTitle(request.title);
        box.setText(request.text);
        box.setIcon(iconFor(request.style));
        const QList<ButtonSpec> specs = buttonsFor(request.style);
        QList<QAbstractButton*> shown;
        for (const ButtonSpec& s : specs) {
            QPushButton* b = box.addButton(s.button);
            b->setText(QString::fromUtf8(s.text));
            shown.append(b);
        }
        const int defaultIndex = (request.style & mb::DefaultButton3)   ? 2
                                 : (request.style & mb::DefaultButton2) ? 1
                                                                        : 0;
        box.setDefaultButton(qobject_cast<QPushButton*>(
            shown.value(defaultIndex < shown.size() ? defaultIndex : 0)));

        if (!request.helpFile.isEmpty()) {
            QPushButton* help = box.addButton(QStringLiteral("ヘルプ(&H)"), QMessageBox::HelpRole);
            // Every button of a message box closes it; the help button must not,
            // so it is taken off the box's own handling and only opens the help.
            QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
            const QString file = request.helpFile;
            QObject::connect(help, &QAbstractButton::clicked, &box, [file] {
                if (!QFileInfo::exists(file) || !QDesktopServices::openUrl(QUrl::fromLocalFile(
                                                    QFileInfo(file).absoluteFilePath())))
                    QApplication::beep();
            });
        }

        box.exec();
        const auto pressed = box.standardButton(box.clickedButton());
        for (const ButtonSpec& s : specs) {
            if (s.button == pressed)
                return s.answer;
        }
        // Closed without a button (window manager): the box's way out.
        for (const ButtonSpec& s : specs) {
            if (s.answer == answer::Cancel || s.answer == answer::No)
                return s.answer;
        }
        return specs.front().answer;
    }

    void beep() override { QApplication::beep(); }

protected:
    QStringList askOpenFiles(QWidget* parent, const OpenFilesRequest& request) override {
        QFileDialog dialog(parent, request.title, request.folder,
                           request.filters.join(QStringLiteral(";;")));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles
                                            : QFileDialog::ExistingFile);
        dialog.selectNameFilter(request.filters.value(request.selectedFilter));
        // Only Qt's own dialog has these columns; a desktop's dialog speaks
        // the desktop's language anyway.
        dialog.setProxyModel(new FileDetailsInProgramLocale(&dialog));
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles();
    }

    QString askFolder(QWidget* parent, const QString& title, const QString& folder) override {
        QFileDialog dialog(parent, title, folder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setProxyModel(new FileDetailsInProgramLocale(&dialog));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    }

    bool askFont(QWidget* parent, QFont& font, QColor& color) override {
        FontAndColorDialog dialog(parent, font, color);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        font = dialog.font();
        color = dialog.color();
        return true;
    }

    int execDialog(QDialog& dialog) override { return dialog.exec(); }

    QString askSaveFile(QWidget* parent, const SaveFileRequest& request) override {
        const QString start = request.fileName.isEmpty()
                                  ? request.folder
                                  : QDir(request.folder).filePath(request.fileName);
        if (request.note.isEmpty())
            return QFileDialog::getSaveFileName(parent, request.title, start,
                                                request.filters.join(QStringLiteral(";;")));
        // Qt's own dialog, the only one with room for a line of text below.
        QFileDialog dialog(parent, request.title, start,
                           request.filters.join(QStringLiteral(";;")));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* note = new QLabel(request.note, &dialog);
            note->setObjectName(QStringLiteral("Save_Note"));
            note->setWordWrap(true);
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }

    bool askPageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName) override {
        QPrinter printer(QPrinter::HighResolution);
        if (!printerName.isEmpty())
            printer.setPrinterName(printerName);
        printer.setPageLayout(layout);
        QPageSetupDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        layout = printer.pageLayout();
        return true;
    }

    bool showPrintPreview(QWidget* parent, const PrintPreviewRequest& request) override;
};

// The preview of a list: its pages, a tool bar to move through them, zoom and
// print, and the page indicator in the program's own words.
bool DesktopUi::showPrintPreview(QWidget* parent, const PrintPreviewRequest& request) {
    QPrinter printer(QPrinter::HighResolution);
    if (!request.printerName.isEmpty())
        printer.setPrinterName(request.printerName);
    if (!printer.isValid() || (request.pageLayout && !printer.setPageLayout(*request.pageLayout)))
        return false;
    if (!request.pages)
        return false;
    runPagedPreview(parent, request, printer);
    return true;
}

} // namespace

void useJapanese() {
    static bool done = false;
    if (done)
        return;
    done = true;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Without the translation files Qt's dialogs stay in English; the texts
    // the program sets itself are Japanese either way.
    static QTranslator qtTexts;
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
}

DialogSeam& desktopUi() {
    static DesktopUi instance;
    return instance;
}

void installDesktopUi() {
    setUi(&desktopUi());
}

} // namespace korvex
