#include "office_dialogs.h"

#include "calc_model.h"
#include "uno_text.h"

#include <com/sun/star/accessibility/AccessibleRole.hpp>
#include <com/sun/star/accessibility/XAccessible.hpp>
#include <com/sun/star/accessibility/XAccessibleAction.hpp>
#include <com/sun/star/accessibility/XAccessibleContext.hpp>
#include <com/sun/star/accessibility/XAccessibleSelection.hpp>
#include <com/sun/star/accessibility/XAccessibleText.hpp>
#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QThread>

#include <type_traits>

namespace korvex::calc {

namespace {

using css::uno::Reference;

// The dialog's confirming button ("OK", or "Print" in the print dialog).
Reference<css::accessibility::XAccessibleAction>
confirmButton(const Reference<css::accessibility::XAccessible>& node, int depth) {
    if (!node.is() || depth > 40)
        return {};
    const auto context = node->getAccessibleContext();
    if (!context.is())
        return {};
    if (context->getAccessibleRole() == css::accessibility::AccessibleRole::PUSH_BUTTON) {
        const QString name = toQt(context->getAccessibleName());
        if (name == QLatin1String("OK") || name == QLatin1String("Print"))
            return Reference<css::accessibility::XAccessibleAction>(context, css::uno::UNO_QUERY);
        return {};
    }
    const auto n = context->getAccessibleChildCount();
    for (std::remove_const_t<decltype(n)> i = 0; i < n; ++i)
        if (auto found = confirmButton(context->getAccessibleChild(i), depth + 1); found.is())
            return found;
    return {};
}

// Answers a dialog on the office's main thread, where its own buttons
// would: a press on its confirming button, or a close that confirms nothing.
class AnswerDialog : public cppu::WeakImplHelper1<css::awt::XCallback> {
public:
    AnswerDialog(Reference<css::awt::XDialog> dialog, bool confirm)
        : m_dialog(std::move(dialog)), m_confirm(confirm) {}
    void SAL_CALL notify(const css::uno::Any&) override {
        try {
            if (m_confirm) {
                const auto button = confirmButton(
                    Reference<css::accessibility::XAccessible>(m_dialog, css::uno::UNO_QUERY), 0);
                if (button.is() && button->getAccessibleActionCount() > 0) {
                    button->doAccessibleAction(0);
                    return;
                }
            }
            m_dialog->endExecute();
        } catch (...) {
        }
    }

private:
    Reference<css::awt::XDialog> m_dialog;
    bool m_confirm;
};

void collectTexts(const Reference<css::accessibility::XAccessible>& node, int depth,
                  QStringList& texts) {
    if (!node.is() || depth > 40)
        return;
    const auto context = node->getAccessibleContext();
    if (!context.is())
        return;
    if (const auto name = toQt(context->getAccessibleName()); !name.isEmpty())
        texts << name;
    Reference<css::accessibility::XAccessibleText> text(context, css::uno::UNO_QUERY);
    if (text.is())
        if (const auto shown = toQt(text->getText()); !shown.isEmpty())
            texts << shown;
    for (decltype(context->getAccessibleChildCount()) i = 0, n = context->getAccessibleChildCount();
         i < n; ++i)
        collectTexts(context->getAccessibleChild(i), depth + 1, texts);
}

// The tab bar's page list, found without descending into the sheet's cells.
Reference<css::accessibility::XAccessibleContext>
sheetTabs(const Reference<css::accessibility::XAccessible>& node, int depth) {
    if (!node.is() || depth > 30)
        return {};
    const auto context = node->getAccessibleContext();
    if (!context.is())
        return {};
    if (context->getAccessibleRole() == css::accessibility::AccessibleRole::PAGE_TAB_LIST)
        return context;
    const auto n = context->getAccessibleChildCount();
    if (n > 100)
        return {};
    for (std::remove_const_t<decltype(n)> i = 0; i < n; ++i)
        if (auto found = sheetTabs(context->getAccessibleChild(i), depth + 1); found.is())
            return found;
    return {};
}

} // namespace

void clickSheetTab(const host::ApplicationPtr& app, const QString& book, const QString& sheet) {
    const auto session = std::dynamic_pointer_cast<CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<CalcWorkbook>(app->workbook(book))->document();
    session->run([doc, sheet] {
        const auto window = uno_helpers::frameOf(doc)->getContainerWindow();
        const auto tabs =
            sheetTabs(Reference<css::accessibility::XAccessible>(window, css::uno::UNO_QUERY), 0);
        if (!tabs.is())
            throw host::HostError(QStringLiteral("The window shows no sheet tabs"));
        const auto n = tabs->getAccessibleChildCount();
        for (std::remove_const_t<decltype(n)> i = 0; i < n; ++i) {
            if (toQt(tabs->getAccessibleChild(i)->getAccessibleContext()->getAccessibleName()) ==
                sheet) {
                Reference<css::accessibility::XAccessibleSelection>(tabs, css::uno::UNO_QUERY_THROW)
                    ->selectAccessibleChild(i);
                return;
            }
        }
        throw host::HostError(QStringLiteral("No tab for sheet \"%1\"").arg(sheet));
    });
}

QStringList openDialogTexts(const host::ApplicationPtr& app) {
    const auto session = std::dynamic_pointer_cast<CalcApplication>(app)->session();
    return session->run([ctx = session->context()] {
        QStringList texts;
        const auto open = uno_helpers::openDialogs(ctx);
        if (!open.empty())
            collectTexts(
                Reference<css::accessibility::XAccessible>(open.front(), css::uno::UNO_QUERY), 0,
                texts);
        return texts;
    });
}

OfficeDialogScript::OfficeDialogScript(host::ApplicationPtr app, Script script)
    : OfficeDialogScript(std::move(app), Answering{[script](host::Dialog dialog) {
                             script(dialog);
                             return false;
                         }}) {}

OfficeDialogScript::OfficeDialogScript(host::ApplicationPtr app, Answering answering)
    : m_app(std::move(app)), m_script(std::move(answering.script)), m_watcher([this] { watch(); }) {
}

OfficeDialogScript::~OfficeDialogScript() {
    m_stop = true;
    m_watcher.join();
}

void OfficeDialogScript::watch() {
    const auto session = std::dynamic_pointer_cast<CalcApplication>(m_app)->session();
    Reference<css::awt::XDialog> last; // the dialog answered last, never answered twice
    while (!m_stop) {
        QThread::msleep(100);
        try {
            const auto dialog = session->run([ctx = session->context()] {
                const auto open = uno_helpers::openDialogs(ctx);
                return open.empty() ? Reference<css::awt::XDialog>() : open.front();
            });
            if (!dialog.is() || dialog == last)
                continue;
            // The window the office shows while a job prints asks the user
            // nothing and goes away by itself; it has no confirming button
            // (nor, at first, a title). A question always has one.
            const QString title = session->run([dialog]() -> QString {
                if (!confirmButton(
                         Reference<css::accessibility::XAccessible>(dialog, css::uno::UNO_QUERY), 0)
                         .is())
                    return QString();
                return toQt(dialog->getTitle());
            });
            if (title.isEmpty() || title == QLatin1String("Printing"))
                continue;
            last = dialog;
            const bool confirm =
                m_script(title.startsWith(QLatin1String("Print")) ? host::Dialog::Print
                                                                  : host::Dialog::PageSetup);
            // Counted before the dialog can close, so that whoever waits for
            // it to close finds it counted.
            ++m_answered;
            session->run([ctx = session->context(), dialog, confirm] {
                css::awt::AsyncCallback::create(ctx)->addCallback(new AnswerDialog(dialog, confirm),
                                                                  css::uno::Any());
            });
            // Not twice for one dialog: wait until it has gone.
            while (!m_stop && session->run([ctx = session->context()] {
                return !uno_helpers::openDialogs(ctx).empty();
            }))
                QThread::msleep(50);
        } catch (const host::HostError&) {
            // The office went away; the test will say so.
        }
    }
}

} // namespace korvex::calc
