#include "office_dialogs.h"

#include "calc_model.h"
#include "uno_text.h"

#include <com/sun/star/accessibility/AccessibleRole.hpp>
#include <com/sun/star/accessibility/XAccessible.hpp>
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

// Closes a dialog on the office's main thread, where its own buttons would.
class CloseDialog : public cppu::WeakImplHelper1<css::awt::XCallback> {
public:
    explicit CloseDialog(Reference<css::awt::XDialog> dialog) : m_dialog(std::move(dialog)) {}
    void SAL_CALL notify(const css::uno::Any&) override {
        try {
            m_dialog->endExecute();
        } catch (...) {
        }
    }

private:
    Reference<css::awt::XDialog> m_dialog;
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
    : m_app(std::move(app)), m_script(std::move(script)), m_watcher([this] { watch(); }) {}

OfficeDialogScript::~OfficeDialogScript() {
    m_stop = true;
    m_watcher.join();
}

void OfficeDialogScript::watch() {
    const auto session = std::dynamic_pointer_cast<CalcApplication>(m_app)->session();
    while (!m_stop) {
        QThread::msleep(100);
        try {
            const auto dialog = session->run([ctx = session->context()] {
                const auto open = uno_helpers::openDialogs(ctx);
                return open.empty() ? Reference<css::awt::XDialog>() : open.front();
            });
            if (!dialog.is())
                continue;
            const QString title = session->run([dialog] { return toQt(dialog->getTitle()); });
            m_script(title.startsWith(QLatin1String("Print")) ? host::Dialog::Print
                                                              : host::Dialog::PageSetup);
            // Counted before the dialog can close, so that whoever waits for
            // it to close finds it counted.
            ++m_answered;
            session->run([ctx = session->context(), dialog] {
                css::awt::AsyncCallback::create(ctx)->addCallback(new CloseDialog(dialog),
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
