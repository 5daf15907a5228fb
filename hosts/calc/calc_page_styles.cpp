// Page styles. Calc keeps a sheet's page setup in a style that sheets share;
// a sheet whose style is shared gets a style of its own before anything is
// written, so that changing one sheet's page setup never changes another.

#include "calc_model.h"

#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <vector>

namespace korvex::calc::uno_helpers {

namespace {

using Props = Reference<css::beans::XPropertySet>;

Reference<css::container::XNameContainer> pageStyles(const DocRef& doc) {
    Reference<css::style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    return Reference<css::container::XNameContainer>(
        must(families->getStyleFamilies())->getByName("PageStyles"), UNO_QUERY_THROW);
}

rtl::OUString styleNameOf(const SheetRef& sheet) {
    Props props(sheet, UNO_QUERY_THROW);
    rtl::OUString name;
    props->getPropertyValue("PageStyle") >>= name;
    return name;
}

Props styleOf(const DocRef& doc, const SheetRef& sheet) {
    return Props(pageStyles(doc)->getByName(styleNameOf(sheet)), UNO_QUERY_THROW);
}

void copyStyle(const Props& from, const Props& to) {
    static const char* const scaleLast[] = {"ScaleToPagesX", "ScaleToPagesY", "ScaleToPages",
                                            "PageScale"};
    auto isScale = [](const rtl::OUString& n) {
        for (auto s : scaleLast)
            if (n.equalsAscii(s))
                return true;
        return false;
    };
    std::vector<rtl::OUString> names;
    for (const auto& p : must(from->getPropertySetInfo())->getProperties())
        if (!(p.Attributes & css::beans::PropertyAttribute::READONLY) && !isScale(p.Name))
            names.push_back(p.Name);
    const Sequence<rtl::OUString> all(names.data(), sal_Int32(names.size()));
    // Two calls for the lot; a style that refuses one of them gets them one
    // by one instead, since properties that only make sense together (or not
    // at all for this style) are refused singly and the rest still goes over.
    Reference<css::beans::XMultiPropertySet> fromAll(from, UNO_QUERY), toAll(to, UNO_QUERY);
    bool copied = false;
    Sequence<Any> values;
    if (fromAll.is() && toAll.is()) {
        try {
            values = fromAll->getPropertyValues(all);
            toAll->setPropertyValues(all, values);
            copied = true;
        } catch (const css::uno::Exception&) {
        }
    }
    if (!copied) {
        for (sal_Int32 i = 0; i < all.getLength(); ++i) {
            try {
                to->setPropertyValue(
                    all[i], i < values.getLength() ? values[i] : from->getPropertyValue(all[i]));
            } catch (const css::uno::Exception&) {
            }
        }
    }
    // Scale last: writing any fit-to-pages value switches the scale mode.
    sal_Int16 pagesX = 0, pagesY = 0, pages = 0;
    from->getPropertyValue("ScaleToPagesX") >>= pagesX;
    from->getPropertyValue("ScaleToPagesY") >>= pagesY;
    from->getPropertyValue("ScaleToPages") >>= pages;
    if (pagesX > 0 || pagesY > 0) {
        to->setPropertyValue("ScaleToPagesX", Any(pagesX));
        to->setPropertyValue("ScaleToPagesY", Any(pagesY));
    } else if (pages > 0) {
        to->setPropertyValue("ScaleToPages", Any(pages));
    } else {
        to->setPropertyValue("PageScale", from->getPropertyValue("PageScale"));
    }
}

// The sheet's own page style, created from its current one when another
// sheet shares it. `use`, when given, knows which style every sheet of the
// book prints with, so that the question needs no look at the other sheets.
Props ownStyle(const DocRef& doc, const SheetRef& sheet, PageStyleUse* use = nullptr) {
    const rtl::OUString current = styleNameOf(sheet);
    const rtl::OUString myName =
        Reference<css::container::XNamed>(sheet, UNO_QUERY_THROW)->getName();
    bool known = false;
    if (use) {
        const auto it = use->styleOfSheet.find(myName);
        known = it != use->styleOfSheet.end() && it->second == current;
    }
    bool shared = false;
    if (known) {
        shared = use->users[current] > 1;
    } else {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        for (sal_Int32 i = 0, n = sheets->getCount(); i < n && !shared; ++i) {
            SheetRef other(sheets->getByIndex(i), UNO_QUERY_THROW);
            if (Reference<css::container::XNamed>(other, UNO_QUERY_THROW)->getName() != myName &&
                styleNameOf(other) == current)
                shared = true;
        }
    }
    auto styles = pageStyles(doc);
    if (!shared)
        return Props(styles->getByName(current), UNO_QUERY_THROW);
    rtl::OUString name = "PageStyle_" + myName;
    for (int i = 2; styles->hasByName(name); ++i)
        name = "PageStyle_" + myName + "_" + rtl::OUString::number(i);
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    Reference<css::uno::XInterface> fresh = factory->createInstance("com.sun.star.style.PageStyle");
    styles->insertByName(name, Any(fresh));
    Props created(styles->getByName(name), UNO_QUERY_THROW);
    copyStyle(Props(styles->getByName(current), UNO_QUERY_THROW), created);
    Props(sheet, UNO_QUERY_THROW)->setPropertyValue("PageStyle", Any(name));
    if (known) {
        --use->users[current];
        use->users[name] = 1;
        use->styleOfSheet[myName] = name;
    }
    return created;
}

} // namespace

Props pageStyleOf(const DocRef& doc, const SheetRef& sheet) {
    return styleOf(doc, sheet);
}

Props ownPageStyle(const DocRef& doc, const SheetRef& sheet, PageStyleUse* use) {
    return ownStyle(doc, sheet, use);
}
rtl::OUString pageStyleNameOf(const SheetRef& sheet) {
    return styleNameOf(sheet);
}

std::optional<PageStyleSplit> separatePageStyle(const DocRef& doc, const SheetRef& sheet) {
    Reference<css::util::XModifiable> modifiable(doc, UNO_QUERY_THROW);
    PageStyleSplit split;
    split.sheet = sheet;
    split.shared = styleNameOf(sheet);
    split.documentWasModified = modifiable->isModified();
    ownStyle(doc, sheet);
    split.own = styleNameOf(sheet);
    if (split.own == split.shared)
        return std::nullopt;
    // Whether the dialog changed anything shows in the document's modified
    // flag, which only the new style has set on an unchanged document.
    if (!split.documentWasModified)
        modifiable->setModified(false);
    return split;
}

void rejoinUnchangedPageStyle(const DocRef& doc, const PageStyleSplit& split) {
    Reference<css::util::XModifiable> modifiable(doc, UNO_QUERY_THROW);
    // On a document changed before, a change in the dialog cannot be told
    // apart: the sheet keeps its own style, which looks the same when the
    // dialog was cancelled.
    if (split.documentWasModified || modifiable->isModified())
        return;
    Props(split.sheet, UNO_QUERY_THROW)->setPropertyValue("PageStyle", Any(split.shared));
    pageStyles(doc)->removeByName(split.own);
    modifiable->setModified(false);
}

} // namespace korvex::calc::uno_helpers
