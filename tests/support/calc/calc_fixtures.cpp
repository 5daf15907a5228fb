#include "calc_fixtures.h"

#include "calc_model.h"
#include "uno_text.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XHeaderFooterContent.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XTableCharts.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/NumberFormatter.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QFileInfo>
#include <QUrl>

namespace korvex::calc {

using namespace uno_helpers;

namespace {

SessionPtr sessionOf(const host::ApplicationPtr& app) {
    auto calc = std::dynamic_pointer_cast<CalcApplication>(app);
    if (!calc)
        throw HostError(QStringLiteral("Not a LibreOffice Calc host"));
    return calc->session();
}

css::beans::PropertyValue property(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

std::optional<host::PageProperty> pagePropertyNamed(const QString& name) {
    for (int i = 0; i < host::PagePropertyCount; ++i)
        if (name == QLatin1String(host::pagePropertyName(host::PageProperty(i))))
            return host::PageProperty(i);
    return std::nullopt;
}

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// A number format under which `value` shows as `displayed`: a common one
// when it fits, else a format that shows exactly that literal text.
void formatToShow(const Reference<css::uno::XComponentContext>& ctx, const DocRef& doc,
                  const Reference<css::table::XCell>& cell, double value,
                  const QString& displayed) {
    Reference<css::util::XNumberFormatsSupplier> supplier(doc, UNO_QUERY_THROW);
    auto formats = must(supplier->getNumberFormats());
    auto formatter = css::util::NumberFormatter::create(ctx);
    formatter->attachNumberFormatsSupplier(supplier);
    css::lang::Locale locale;
    locale.Language = "en";
    locale.Country = "US";
    auto keyOf = [&](const QString& code) {
        sal_Int32 key = formats->queryKey(toUno(code), locale, false);
        return key >= 0 ? key : formats->addNew(toUno(code), locale);
    };
    static const char* const candidates[] = {"#,##0",    "#,##0.00",  "0.00",    "0.0",
                                             "0%",       "0.0%",      "0.00%",   "yyyy/mm/dd",
                                             "yyyy/m/d", "h:mm",      "h:mm:ss", "\\\\#,##0",
                                             "$#,##0",   "$#,##0.00", "0.00E+00"};
    Reference<css::beans::XPropertySet> props(cell, UNO_QUERY_THROW);
    for (const char* c : candidates) {
        const sal_Int32 key = keyOf(QString::fromUtf8(c));
        if (toQt(formatter->convertNumberToString(key, value)) == displayed) {
            props->setPropertyValue("NumberFormat", Any(key));
            return;
        }
    }
    QString literal;
    for (QChar ch : displayed)
        literal += u'\\' + QString(ch);
    props->setPropertyValue("NumberFormat", Any(keyOf(literal + u';' + literal + u';' + literal)));
}

DocRef buildBook(const Reference<css::uno::XComponentContext>& ctx,
                 const Reference<css::frame::XDesktop2>& desktop, const sim::FixtureBook& book,
                 bool hidden) {
    Reference<css::frame::XComponentLoader> loader(desktop, UNO_QUERY_THROW);
    Sequence<css::beans::PropertyValue> args(1);
    args.getArray()[0] = property("Hidden", Any(hidden));
    DocRef doc(loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, args),
               UNO_QUERY_THROW);
    Reference<css::frame::XTitle>(doc, UNO_QUERY_THROW)->setTitle(toUno(book.name));

    // Books made from fixtures start like the spreadsheet's: no header or
    // footer until one is set.
    Reference<css::style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> pageStyles(
        must(families->getStyleFamilies())->getByName("PageStyles"), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> standard(pageStyles->getByName("Default"), UNO_QUERY_THROW);
    standard->setPropertyValue("HeaderIsOn", Any(false));
    standard->setPropertyValue("FooterIsOn", Any(false));

    Reference<css::sheet::XSpreadsheetDocument> sheetDoc(doc, UNO_QUERY_THROW);
    auto sheets = must(sheetDoc->getSheets());
    Reference<css::container::XIndexAccess> byIndex(sheets, UNO_QUERY_THROW);
    for (int i = 0; i < book.sheets.size(); ++i) {
        const auto& fs = book.sheets[i];
        if (i == 0)
            Reference<css::container::XNamed>(byIndex->getByIndex(0), UNO_QUERY_THROW)
                ->setName(toUno(fs.name));
        else
            sheets->insertNewByName(toUno(fs.name), sal_Int16(i));
    }
    for (int i = 0; i < book.sheets.size(); ++i) {
        const auto& fs = book.sheets[i];
        SheetRef sheet(byIndex->getByIndex(i), UNO_QUERY_THROW);
        if (fs.chart) {
            Reference<css::table::XTableChartsSupplier> charts(sheet, UNO_QUERY_THROW);
            css::table::CellRangeAddress source;
            source.Sheet = sal_Int16(i);
            Sequence<css::table::CellRangeAddress> sources(&source, 1);
            must(charts->getCharts())
                ->addNewByName("Chart", css::awt::Rectangle(0, 0, 16000, 9000), sources, false,
                               false);
            continue;
        }
        Reference<css::sheet::XSheetAnnotationsSupplier> notes(sheet, UNO_QUERY_THROW);
        for (const auto& fc : fs.cells) {
            auto cell = sheet->getCellByPosition(fc.column - 1, fc.row - 1);
            if (fc.hasContent() && !fc.content.startsWith(u'=') &&
                writeTypedValue(doc, cell, fc.value)) {
                // A typed date or flag: what the office makes of the same
                // text depends on its locale, the value does not.
            } else if (fc.hasContent()) {
                cell->setFormula(toUno(formulaToApi(fc.content)));
                if (fc.value.typeId() == QMetaType::Bool)
                    setFlagFormat(doc, cell);
                if (!fc.displayed.isEmpty() &&
                    (isNumber(fc.value) || fc.content.startsWith(u'='))) {
                    Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
                    if (toQt(text->getString()) != fc.displayed &&
                        cell->getType() != css::table::CellContentType_TEXT)
                        formatToShow(ctx, doc, cell, cell->getValue(), fc.displayed);
                }
            }
            if (!fc.note.isEmpty()) {
                css::table::CellAddress at;
                at.Sheet = sal_Int16(i);
                at.Column = fc.column - 1;
                at.Row = fc.row - 1;
                must(notes->getAnnotations())->insertNew(at, toUno(fc.note));
            }
        }
        for (const auto& [name, value] : fs.pageSetup) {
            if (name == QLatin1String("FitToPagesWide") ||
                name == QLatin1String("FitToPagesTall")) {
                auto style = ownPageStyle(doc, sheet);
                const sal_Int16 pages =
                    value.typeId() == QMetaType::Bool ? 0 : sal_Int16(value.toInt());
                style->setPropertyValue(name == QLatin1String("FitToPagesWide")
                                            ? rtl::OUString("ScaleToPagesX")
                                            : rtl::OUString("ScaleToPagesY"),
                                        Any(pages));
            } else if (const auto p = pagePropertyNamed(name)) {
                writePageProperty(doc, sheet, *p, value);
            }
        }
    }

    if (!hidden) {
        for (int w = 2; w <= book.windows; ++w)
            dispatch(ctx, doc, ".uno:NewWindow");
    }
    // Cursor of every sheet, then the active sheet and the group, in the
    // book's first window.
    auto controller = controllerOf(doc);
    Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
    Reference<css::view::XSelectionSupplier> selection(controller, UNO_QUERY_THROW);
    int active = 0;
    for (int i = 0; i < book.sheets.size(); ++i) {
        const auto& fs = book.sheets[i];
        if (fs.active)
            active = i;
        if (fs.chart)
            continue;
        SheetRef sheet(byIndex->getByIndex(i), UNO_QUERY_THROW);
        view->setActiveSheet(sheet);
        selection->select(Any(sheet->getCellByPosition(fs.activeColumn - 1, fs.activeRow - 1)));
    }
    view->setActiveSheet(SheetRef(byIndex->getByIndex(active), UNO_QUERY_THROW));
    if (book.group.size() > 1)
        groupSheets(doc, book.group);

    for (int i = 0; i < book.sheets.size(); ++i) {
        if (!book.sheets[i].protectedSheet)
            continue;
        SheetRef sheet(byIndex->getByIndex(i), UNO_QUERY_THROW);
        for (const auto& fc : book.sheets[i].cells) {
            if (fc.locked)
                continue;
            Reference<css::beans::XPropertySet> cell(
                sheet->getCellByPosition(fc.column - 1, fc.row - 1), UNO_QUERY_THROW);
            css::util::CellProtection protection;
            cell->getPropertyValue("CellProtection") >>= protection;
            protection.IsLocked = false;
            cell->setPropertyValue("CellProtection", Any(protection));
        }
        Reference<css::util::XProtectable>(sheet, UNO_QUERY_THROW)->protect("");
    }
    Reference<css::util::XModifiable>(doc, UNO_QUERY_THROW)->setModified(book.modified);
    return doc;
}

void activateDocument(const DocRef& doc) {
    auto frame = frameOf(doc);
    Reference<css::awt::XTopWindow> top(frame->getContainerWindow(), UNO_QUERY);
    if (top.is())
        top->toFront();
    frame->activate();
}

bool bookHidden(const sim::FixtureBook& book) {
    return book.hiddenWindows.contains(1);
}

rtl::OUString filterFor(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("ods"))
        return "calc8";
    if (ext == QLatin1String("xls"))
        return "MS Excel 97";
    if (ext == QLatin1String("csv"))
        return "Text - txt - csv (StarCalc)";
    return "Calc MS Excel 2007 XML";
}

} // namespace

void closeAllDocuments(const host::ApplicationPtr& app) {
    auto s = sessionOf(app);
    s->run([d = s->desktop()] {
        std::vector<Reference<css::util::XCloseable>> all;
        auto e = must(d->getComponents())->createEnumeration();
        while (e->hasMoreElements())
            all.emplace_back(e->nextElement(), UNO_QUERY);
        for (const auto& c : all) {
            try {
                Reference<css::util::XModifiable> m(c, UNO_QUERY);
                if (m.is())
                    m->setModified(false);
                if (c.is())
                    c->close(true);
            } catch (const css::uno::Exception&) {
                // Someone else is closing it; it goes away either way.
            }
        }
    });
}

void loadFixture(const host::ApplicationPtr& app, const sim::Fixture& fixture) {
    auto s = sessionOf(app);
    const auto timeout = std::max(s->callTimeout(), std::chrono::milliseconds(60000));
    std::vector<DocRef> docs;
    for (const auto& book : fixture.books)
        docs.push_back(s->run([ctx = s->context(), d = s->desktop(),
                               book] { return buildBook(ctx, d, book, bookHidden(book)); },
                              timeout));
    const int active = fixture.activeBookIndex();
    if (active >= 0)
        s->run([doc = docs[size_t(active)]] { activateDocument(doc); });
}

QPair<QVariant, QVariant> fitToPages(const host::ApplicationPtr& app, const QString& book,
                                     const QString& sheet) {
    auto s = sessionOf(app);
    return s->run([d = s->desktop(), book, sheet] {
        auto doc = documentNamed(d, book);
        Reference<css::sheet::XSpreadsheetDocument> sd(doc, UNO_QUERY_THROW);
        SheetRef sh(must(sd->getSheets())->getByName(toUno(sheet)), UNO_QUERY_THROW);
        auto style = pageStyleOf(doc, sh);
        sal_Int16 x = 0, y = 0;
        style->getPropertyValue("ScaleToPagesX") >>= x;
        style->getPropertyValue("ScaleToPagesY") >>= y;
        auto pages = [](sal_Int16 n) { return n > 0 ? QVariant(int(n)) : QVariant(false); };
        return QPair<QVariant, QVariant>(pages(x), pages(y));
    });
}

void writeWorkbookFile(const host::ApplicationPtr& app, const QString& path,
                       const sim::Fixture& fixture) {
    if (fixture.books.isEmpty())
        throw HostError(QStringLiteral("The fixture holds no book"));
    auto s = sessionOf(app);
    const QString url =
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    s->run(
        [ctx = s->context(), d = s->desktop(), book = fixture.books.first(), url, path] {
            auto doc = buildBook(ctx, d, book, true);
            const bool csv = QFileInfo(path).suffix().toLower() == QLatin1String("csv");
            Sequence<css::beans::PropertyValue> args(2);
            args.getArray()[0] = property("FilterName", Any(filterFor(path)));
            args.getArray()[1] = property("Overwrite", Any(true));
            const auto add = [&args](const char* name, const Any& value) {
                args.realloc(args.getLength() + 1);
                args.getArray()[args.getLength() - 1] = property(name, value);
            };
            if (csv) // comma-separated, quoted, UTF-8
                add("FilterOptions", Any(rtl::OUString("44,34,76,1")));
            if (!book.password.isEmpty())
                add("Password", Any(toUno(book.password)));
            Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)->storeToURL(toUno(url), args);
            Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
        },
        std::max(s->callTimeout(), std::chrono::milliseconds(60000)));
}

void fillSheet(const host::ApplicationPtr& app, const QString& book, const QString& sheet,
               const std::vector<QStringList>& rows) {
    if (rows.empty())
        return;
    qsizetype width = 0;
    for (const auto& r : rows)
        width = std::max(width, r.size());
    Sequence<Sequence<rtl::OUString>> data(sal_Int32(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        Sequence<rtl::OUString> row(static_cast<sal_Int32>(width));
        for (qsizetype c = 0; c < rows[r].size(); ++c)
            row.getArray()[c] = toUno(formulaToApi(rows[r][c]));
        data.getArray()[r] = row;
    }
    auto s = sessionOf(app);
    s->run(
        [d = s->desktop(), book, sheet, data, width] {
            auto doc = documentNamed(d, book);
            Reference<css::sheet::XSpreadsheetDocument> sd(doc, UNO_QUERY_THROW);
            SheetRef sh(must(sd->getSheets())->getByName(toUno(sheet)), UNO_QUERY_THROW);
            Reference<css::sheet::XCellRangeFormula> range(
                sh->getCellRangeByPosition(0, 0, sal_Int32(width) - 1, data.getLength() - 1),
                UNO_QUERY_THROW);
            range->setFormulaArray(data);
        },
        std::max(s->callTimeout(), std::chrono::milliseconds(120000)));
}

int headerFooterFields(const host::ApplicationPtr& app, const QString& book, const QString& sheet,
                       host::PageProperty part) {
    const int index = int(part) - int(host::PageProperty::LeftHeader);
    if (index < 0 || index > 5)
        throw HostError(QStringLiteral("Not a header or footer part"));
    auto s = sessionOf(app);
    return s->run([d = s->desktop(), book, sheet, index] {
        auto doc = documentNamed(d, book);
        Reference<css::sheet::XSpreadsheetDocument> sd(doc, UNO_QUERY_THROW);
        SheetRef sh(must(sd->getSheets())->getByName(toUno(sheet)), UNO_QUERY_THROW);
        const auto style = pageStyleOf(doc, sh);
        bool on = false;
        style->getPropertyValue(index < 3 ? "HeaderIsOn" : "FooterIsOn") >>= on;
        if (!on)
            return 0; // whatever the style keeps is not printed
        Reference<css::sheet::XHeaderFooterContent> content(
            style->getPropertyValue(index < 3 ? "RightPageHeaderContent"
                                              : "RightPageFooterContent"),
            UNO_QUERY_THROW);
        const Reference<css::text::XText> text = index % 3 == 0   ? content->getLeftText()
                                                 : index % 3 == 1 ? content->getCenterText()
                                                                  : content->getRightText();
        int fields = 0;
        auto paragraphs = Reference<css::container::XEnumerationAccess>(text, UNO_QUERY_THROW)
                              ->createEnumeration();
        while (paragraphs->hasMoreElements()) {
            auto portions = Reference<css::container::XEnumerationAccess>(paragraphs->nextElement(),
                                                                          UNO_QUERY_THROW)
                                ->createEnumeration();
            while (portions->hasMoreElements()) {
                rtl::OUString type;
                Reference<css::beans::XPropertySet>(portions->nextElement(), UNO_QUERY_THROW)
                    ->getPropertyValue("TextPortionType") >>= type;
                fields += type == "TextField" ? 1 : 0;
            }
        }
        return fields;
    });
}

void openBlankDocument(const host::ApplicationPtr& app, const QString& title) {
    auto s = sessionOf(app);
    s->run(
        [d = s->desktop(), title] {
            Reference<css::frame::XComponentLoader> loader(d, UNO_QUERY_THROW);
            DocRef doc(loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, {}),
                       UNO_QUERY_THROW);
            Reference<css::frame::XTitle>(doc, UNO_QUERY_THROW)->setTitle(toUno(title));
        },
        std::max(s->callTimeout(), std::chrono::milliseconds(60000)));
}

void printGroupToFile(const host::ApplicationPtr& app, const QString& book, const QString& path) {
    auto s = sessionOf(app);
    const QString url =
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    s->run(
        [d = s->desktop(), book, url] {
            auto doc = documentNamed(d, book);
            // Printing takes the sheets grouped in the view, as the print
            // dialog does by default.
            Sequence<css::beans::PropertyValue> args(2);
            args.getArray()[0] = property("FileName", Any(toUno(url)));
            args.getArray()[1] = property("Wait", Any(true));
            Reference<css::view::XPrintable>(doc, UNO_QUERY_THROW)->print(args);
        },
        std::max(s->callTimeout(), std::chrono::milliseconds(60000)));
}

} // namespace korvex::calc
