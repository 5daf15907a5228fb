// Header and footer parts in the spreadsheet's codes. Korvex speaks of a
// header as text where "&A" stands for the sheet name, "&P" the page number,
// "&N" the page count, "&D" the date, "&T" the time, "&F" the file name, "&Z"
// its folder and "&&" a plain "&". Calc keeps these as text fields, which
// print the right value on every page; written as plain text they would print
// what they showed at the time ("Page 1" on every page). So each code is read
// from its field and written back as one.
//
// Formatting codes (&B, &I, &"font", &12 and the like) have no field; they
// stay in the text as they are, so they come back exactly as written and a
// copy does not lose them, even though Calc prints them as typed.
//
// Calc's file-name field prints either the file's name or its full address:
// "&Z&F" is the latter, one field. Calc has nothing that prints the folder
// alone; a lone "&Z" is kept as a path field, which reads back as written but
// prints as the file's name.

#include "calc_model.h"

#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/sheet/XHeaderFooterContent.hpp>
#include <com/sun/star/text/FilenameDisplayFormat.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextField.hpp>

#include <array>
#include <iterator>
#include <optional>
#include <vector>

namespace korvex::calc::uno_helpers {

namespace FileFormat = css::text::FilenameDisplayFormat;

namespace {

enum class Code { SheetName, Page, Pages, Date, Time, FileName, Path };

struct Piece {
    bool isText = true;
    QString text; // for text pieces
    Code code = Code::SheetName;
};

// The code letter of each field, in the order of Code.
constexpr char16_t CodeLetters[] = {u'A', u'P', u'N', u'D', u'T', u'F', u'Z'};

std::optional<Code> codeOf(QChar c) {
    for (int i = 0; i < int(std::size(CodeLetters)); ++i)
        if (c.unicode() == CodeLetters[i])
            return Code(i);
    return std::nullopt;
}

QChar letterOf(Code code) {
    return QChar(CodeLetters[int(code)]);
}

// "Page &P of &N" as text and field pieces. An "&" before anything but a
// field letter or a second "&" stays in the text with what follows it.
std::vector<Piece> parse(const QString& codes) {
    std::vector<Piece> pieces;
    QString text;
    auto flush = [&] {
        if (!text.isEmpty())
            pieces.push_back({true, text, Code::SheetName});
        text.clear();
    };
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const QChar c = codes.at(i);
        const QChar next = i + 1 < codes.size() ? codes.at(i + 1) : QChar();
        if (c != u'&' || next.isNull()) {
            text += c;
        } else if (next == u'&') {
            text += u'&';
            ++i;
        } else if (const auto code = codeOf(next)) {
            flush();
            pieces.push_back({false, QString(), *code});
            ++i;
        } else {
            text += c;
        }
    }
    flush();
    return pieces;
}

// The reverse of parse: a plain "&" is doubled wherever parse would
// otherwise take it for a code (or for half of "&&"), and where the user
// would expect it written as "&&" (before a blank or at the end). An "&"
// before anything else is a formatting code kept as text and stays single.
QString format(const std::vector<Piece>& pieces) {
    QString out;
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (!pieces[p].isText) {
            out += u'&';
            out += letterOf(pieces[p].code);
            continue;
        }
        const QString& t = pieces[p].text;
        for (qsizetype i = 0; i < t.size(); ++i) {
            out += t.at(i);
            if (t.at(i) != u'&')
                continue;
            QChar next;
            if (i + 1 < t.size())
                next = t.at(i + 1);
            else if (p + 1 < pieces.size())
                next = pieces[p + 1].isText ? pieces[p + 1].text.front() : QChar(u'&');
            if (next.isNull() || next == u'&' || next.isSpace() || codeOf(next))
                out += u'&';
        }
    }
    return out;
}

// What kind of field it is, from the last part of its service name
// ("com.sun.star.text.textfield.PageNumber"): the portions Calc hands out
// for its header fields carry no type property.
QString fieldKind(const Reference<css::text::XTextField>& field) {
    Reference<css::lang::XServiceInfo> info(field, UNO_QUERY);
    if (!info.is())
        return QString();
    static const QString prefix = QStringLiteral("com.sun.star.text.textfield.");
    for (const auto& service : info->getSupportedServiceNames()) {
        const QString name = toQt(service);
        if (name.startsWith(prefix, Qt::CaseInsensitive))
            return name.mid(prefix.size()).toLower();
    }
    return QString();
}

// The pieces one field stands for; a field without a code reads as the
// text it shows.
void readField(const Reference<css::text::XTextField>& field, std::vector<Piece>& pieces) {
    const QString kind = fieldKind(field);
    Reference<css::beans::XPropertySet> props(field, UNO_QUERY);
    auto has = [&](const char* property) {
        return props.is() && must(props->getPropertySetInfo())
                                 ->hasPropertyByName(rtl::OUString::createFromAscii(property));
    };
    auto add = [&](Code code) { pieces.push_back({false, QString(), code}); };
    if (kind == QLatin1String("sheetname")) {
        add(Code::SheetName);
    } else if (kind == QLatin1String("pagenumber")) {
        add(Code::Page);
    } else if (kind == QLatin1String("pagecount")) {
        add(Code::Pages);
    } else if (kind == QLatin1String("date") || kind == QLatin1String("time") ||
               kind == QLatin1String("datetime")) {
        bool isDate = kind == QLatin1String("date");
        if (has("IsDate"))
            props->getPropertyValue("IsDate") >>= isDate;
        add(isDate ? Code::Date : Code::Time);
    } else if (kind == QLatin1String("filename")) {
        sal_Int16 format = FileFormat::NAME_AND_EXT;
        if (has("FileFormat"))
            props->getPropertyValue("FileFormat") >>= format;
        if (format == FileFormat::FULL || format == FileFormat::PATH)
            add(Code::Path);
        if (format != FileFormat::PATH)
            add(Code::FileName);
    } else if (kind == QLatin1String("docinfo.title")) {
        // The document's title stands where the spreadsheet prints the
        // file's name.
        add(Code::FileName);
    } else if (const QString shown = toQt(field->getPresentation(false)); !shown.isEmpty()) {
        pieces.push_back({true, shown, Code::SheetName});
    }
}

// `pathAndName`: a Path code directly followed by a FileName code, which
// Calc has one field for.
Reference<css::text::XTextContent> makeField(const DocRef& doc, Code code,
                                             bool pathAndName = false) {
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    auto create = [&](const char* service) {
        return Reference<css::beans::XPropertySet>(
            factory->createInstance(rtl::OUString::createFromAscii(service)), UNO_QUERY_THROW);
    };
    Reference<css::beans::XPropertySet> field;
    switch (code) {
    case Code::SheetName:
        field = create("com.sun.star.text.TextField.SheetName");
        break;
    case Code::Page:
        field = create("com.sun.star.text.TextField.PageNumber");
        break;
    case Code::Pages:
        field = create("com.sun.star.text.TextField.PageCount");
        break;
    case Code::Date:
    case Code::Time:
        field = create("com.sun.star.text.TextField.DateTime");
        field->setPropertyValue("IsDate", Any(code == Code::Date));
        break;
    case Code::FileName:
    case Code::Path:
        field = create("com.sun.star.text.TextField.FileName");
        field->setPropertyValue("FileFormat", Any(pathAndName          ? FileFormat::FULL
                                                  : code == Code::Path ? FileFormat::PATH
                                                                       : FileFormat::NAME_AND_EXT));
        break;
    }
    return Reference<css::text::XTextContent>(field, UNO_QUERY_THROW);
}

Reference<css::text::XTextRange> endCursor(const Reference<css::text::XText>& text) {
    const auto cursor = must(text->createTextCursor());
    cursor->gotoEnd(false);
    return Reference<css::text::XTextRange>(cursor, UNO_QUERY_THROW);
}

} // namespace

QString readHeaderFooterText(const Reference<css::text::XText>& text) {
    std::vector<Piece> pieces;
    auto addText = [&](const QString& t) {
        if (t.isEmpty())
            return;
        if (!pieces.empty() && pieces.back().isText)
            pieces.back().text += t;
        else
            pieces.push_back({true, t, Code::SheetName});
    };
    Reference<css::container::XEnumerationAccess> paragraphs(text, UNO_QUERY_THROW);
    const auto ps = must(paragraphs->createEnumeration());
    bool first = true;
    while (ps->hasMoreElements()) {
        if (!first)
            addText(QStringLiteral("\n"));
        first = false;
        Reference<css::container::XEnumerationAccess> paragraph(ps->nextElement(), UNO_QUERY_THROW);
        const auto portions = must(paragraph->createEnumeration());
        while (portions->hasMoreElements()) {
            Reference<css::beans::XPropertySet> portion(portions->nextElement(), UNO_QUERY_THROW);
            rtl::OUString type;
            portion->getPropertyValue("TextPortionType") >>= type;
            Reference<css::text::XTextField> field;
            if (type == "TextField")
                portion->getPropertyValue("TextField") >>= field;
            if (field.is()) {
                const size_t before = pieces.size();
                readField(field, pieces);
                // A field shown as text joins the text around it.
                if (pieces.size() == before + 1 && pieces.back().isText && before > 0 &&
                    pieces[before - 1].isText) {
                    pieces[before - 1].text += pieces.back().text;
                    pieces.pop_back();
                }
            } else {
                addText(
                    toQt(Reference<css::text::XTextRange>(portion, UNO_QUERY_THROW)->getString()));
            }
        }
    }
    return format(pieces);
}

void writeHeaderFooterText(const DocRef& doc, const Reference<css::text::XText>& text,
                           const QString& codes) {
    text->setString(rtl::OUString());
    const std::vector<Piece> pieces = parse(codes);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        if (piece.isText) {
            text->insertString(must(text->getEnd()), toUno(piece.text), false);
            continue;
        }
        // Calc prints a path field as the file's name alone: "&Z&F" written
        // as two fields would print the name twice. Its full-path field is
        // the pair, and reads back as the pair.
        const bool pathAndName = piece.code == Code::Path && i + 1 < pieces.size() &&
                                 !pieces[i + 1].isText && pieces[i + 1].code == Code::FileName;
        // Calc takes a field into a header only at a cursor of the
        // header's own text, not at a plain range.
        text->insertTextContent(endCursor(text), makeField(doc, piece.code, pathAndName), false);
        if (pathAndName)
            ++i;
    }
}

namespace {

using Props = Reference<css::beans::XPropertySet>;

Reference<css::sheet::XHeaderFooterContent> headerFooter(const Props& style, bool header) {
    return Reference<css::sheet::XHeaderFooterContent>(
        style->getPropertyValue(header ? "RightPageHeaderContent" : "RightPageFooterContent"),
        UNO_QUERY_THROW);
}

Reference<css::text::XText> part(const Reference<css::sheet::XHeaderFooterContent>& c, int which) {
    return which == 0   ? must(c->getLeftText())
           : which == 1 ? must(c->getCenterText())
                        : must(c->getRightText());
}

} // namespace

QString readHeaderFooterPart(const Props& style, bool header, int which) {
    return readHeaderFooterText(part(headerFooter(style, header), which));
}

void writeHeaderFooterParts(const DocRef& doc, const Props& style, bool header,
                            const std::array<std::optional<QString>, 3>& texts) {
    const char* on = header ? "HeaderIsOn" : "FooterIsOn";
    const rtl::OUString rightContent = rtl::OUString::createFromAscii(
        header ? "RightPageHeaderContent" : "RightPageFooterContent");
    const bool allGiven = texts[0] && texts[1] && texts[2];
    bool anyText = false;
    for (const auto& t : texts)
        anyText = anyText || (t && !t->isEmpty());
    bool isOn = false;
    style->getPropertyValue(rtl::OUString::createFromAscii(on)) >>= isOn;
    if (!isOn) {
        if (!anyText)
            return;
        // Switching it on brings back whatever the style kept: start blank.
        style->setPropertyValue(rtl::OUString::createFromAscii(on), Any(true));
        if (!allGiven) {
            auto blank = headerFooter(style, header);
            for (int i = 0; i < 3; ++i)
                part(blank, i)->setString(rtl::OUString());
            style->setPropertyValue(rightContent, Any(blank));
        }
    }
    auto content = headerFooter(style, header);
    for (int i = 0; i < 3; ++i)
        if (texts[size_t(i)])
            writeHeaderFooterText(doc, part(content, i), *texts[size_t(i)]);
    style->setPropertyValue(rightContent, Any(content));
    style->setPropertyValue(header ? "LeftPageHeaderContent" : "LeftPageFooterContent",
                            Any(content));
    // With nothing left in any part there is no header: none is printed and
    // no room is kept for it, and it reads back empty.
    if (anyText)
        return;
    for (int i = 0; i < 3; ++i)
        if (!texts[size_t(i)] && !part(content, i)->getString().isEmpty())
            return;
    style->setPropertyValue(rtl::OUString::createFromAscii(on), Any(false));
}

} // namespace korvex::calc::uno_helpers
