// Workbook files opened for reading alone: the folder search reads many files
// the user has not opened and must leave each exactly as it found it.

#include "calc_model.h"

#include "uno_text.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/task/ErrorCodeRequest.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cppuhelper/implbase1.hxx>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

#include <atomic>
#include <iterator>
#include <memory>

namespace korvex::calc {

using namespace uno_helpers;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using host::FileReadError;
using host::ReadFailure;

namespace {

css::beans::PropertyValue argument(const char* name, const css::uno::Any& value) {
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

// The local file a document was loaded from, as an absolute path; empty for
// one that has none.
QString localPathOf(const DocRef& doc) {
    const QUrl url(toQt(doc->getURL()));
    return url.isLocalFile() ? QFileInfo(url.toLocalFile()).absoluteFilePath() : QString();
}

// Answers every question the office puts while it loads a file for reading
// as nobody being there would: a password it is not given, a repair it may
// not make, anything else it cannot know are all refused, and the load
// fails; a mere warning is let pass. So a hidden load never waits on an
// answer, and a refused password is told apart from a damaged file.
class NobodyAnswers : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    explicit NobodyAnswers(std::shared_ptr<std::atomic<bool>> passwordAsked)
        : m_passwordAsked(std::move(passwordAsked)) {}
    void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
        const css::uno::Any what = request->getRequest();
        css::task::ErrorCodeRequest error;
        // The office's error codes mark their warnings in the top bit.
        const bool warning = (what >>= error) && (sal_uInt32(error.ErrCode) & 0x80000000u) != 0;
        if (css::task::PasswordRequest password; what >>= password)
            *m_passwordAsked = true;
        for (const auto& choice : request->getContinuations()) {
            Reference<css::task::XInteractionApprove> approve(choice, UNO_QUERY);
            Reference<css::task::XInteractionAbort> abort(choice, UNO_QUERY);
            if (warning ? approve.is() : abort.is()) {
                choice->select();
                return;
            }
        }
    }

private:
    std::shared_ptr<std::atomic<bool>> m_passwordAsked;
};

} // namespace

// How a comma-separated file is read: left to itself the office takes the
// system's encoding, which garbles Japanese text, and opened for work it
// first asks the user how to read it. A file that is valid UTF-8 is read as
// such, anything else as Windows' Japanese code page, which is what
// spreadsheets on Japanese Windows write.
css::uno::Sequence<css::beans::PropertyValue> uno_helpers::csvLoadArguments(const QString& path) {
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) != 0)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(1 << 20);
    QStringDecoder utf8(QStringDecoder::Utf8);
    // A character cut off at the end of the head is no fault of the file.
    const QString decoded =
        utf8.decode(head.size() == (1 << 20) ? head.left(head.size() - 4) : head);
    const QString options = QStringLiteral("44,34,%1,1").arg(utf8.hasError() ? 60 : 76);
    const css::beans::PropertyValue list[] = {
        argument("FilterName", css::uno::Any(rtl::OUString("Text - txt - csv (StarCalc)"))),
        argument("FilterOptions", css::uno::Any(toUno(options))),
    };
    return css::uno::Sequence<css::beans::PropertyValue>(list, sal_Int32(std::size(list)));
}

host::ReadingBook CalcApplication::openForReading(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(absolute).isFile())
        throw FileReadError(ReadFailure::Missing,
                            QStringLiteral("The file \"%1\" does not exist").arg(path));
    if (QFile probe(absolute); !probe.open(QIODevice::ReadOnly))
        throw FileReadError(ReadFailure::Unreadable, QStringLiteral("The file \"%1\" cannot be "
                                                                    "read: %2")
                                                         .arg(path, probe.errorString()));
    const QString url = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    const auto csv = csvLoadArguments(absolute);
    struct Opened {
        DocRef doc;
        bool wasOpen = false;
    };
    const auto opened = m_s->run(
        [d = m_s->desktop(), url, absolute, csv, reading = m_reading]() -> Opened {
            for (const auto& doc : spreadsheetDocuments(d, reading.get())) {
                if (localPathOf(doc) == absolute)
                    return {doc, true};
            }
            // Read-only loads take no lock; macros and links stay asleep, as
            // nobody asked for this file to be worked in.
            auto passwordAsked = std::make_shared<std::atomic<bool>>(false);
            const Reference<css::task::XInteractionHandler> nobody(
                new NobodyAnswers(passwordAsked));
            const css::beans::PropertyValue list[] = {
                argument("InteractionHandler", css::uno::Any(nobody)),
                argument("Hidden", css::uno::Any(true)),
                argument("ReadOnly", css::uno::Any(true)),
                argument("PickListEntry", css::uno::Any(false)),
                argument("MacroExecutionMode", css::uno::Any(sal_Int16(0))),
                argument("UpdateDocMode", css::uno::Any(sal_Int16(0))),
                argument("Silent", css::uno::Any(true)),
            };
            css::uno::Sequence<css::beans::PropertyValue> args(list, sal_Int32(std::size(list)));
            args.realloc(args.getLength() + csv.getLength());
            std::copy(csv.begin(), csv.end(), args.getArray() + std::size(list));
            Reference<css::lang::XComponent> component;
            const auto protectedFile = [&] {
                return FileReadError(ReadFailure::Protected,
                                     QStringLiteral("The file is protected by a password"));
            };
            try {
                Reference<css::frame::XComponentLoader> loader(d, css::uno::UNO_QUERY_THROW);
                component = loader->loadComponentFromURL(toUno(url), "_blank", 0, args);
            } catch (const css::uno::RuntimeException&) {
                throw;
            } catch (const css::uno::Exception& e) {
                if (*passwordAsked)
                    throw protectedFile();
                throw FileReadError(ReadFailure::Damaged,
                                    QStringLiteral("LibreOffice cannot read the file: %1")
                                        .arg(toQt(e.Message).trimmed()));
            }
            if (!component.is() && *passwordAsked)
                throw protectedFile();
            if (!component.is())
                throw FileReadError(ReadFailure::Damaged,
                                    QStringLiteral("LibreOffice cannot read the file (damaged, "
                                                   "protected by a password or not a workbook)"));
            const Reference<css::sheet::XSpreadsheetDocument> sheets(component, UNO_QUERY);
            if (!sheets.is()) {
                Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
                if (closeable.is())
                    closeable->close(true);
                throw FileReadError(ReadFailure::NotWorkbook,
                                    QStringLiteral("The file is not a spreadsheet"));
            }
            reading->add(sheets);
            return {DocRef(component, css::uno::UNO_QUERY_THROW), false};
        },
        std::max(m_s->callTimeout(), std::chrono::milliseconds(120000)));
    return {std::make_shared<CalcWorkbook>(m_s, m_cache, opened.doc), opened.wasOpen};
}

} // namespace korvex::calc
