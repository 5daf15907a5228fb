#include "host.h"

namespace korvex::host {

const char* pagePropertyName(PageProperty p) {
    switch (p) {
    case PageProperty::PrintTitleRows:
        return "PrintTitleRows";
    case PageProperty::PrintTitleColumns:
        return "PrintTitleColumns";
    case PageProperty::PrintArea:
        return "PrintArea";
    case PageProperty::LeftHeader:
        return "LeftHeader";
    case PageProperty::CenterHeader:
        return "CenterHeader";
    case PageProperty::RightHeader:
        return "RightHeader";
    case PageProperty::LeftFooter:
        return "LeftFooter";
    case PageProperty::CenterFooter:
        return "CenterFooter";
    case PageProperty::RightFooter:
        return "RightFooter";
    case PageProperty::LeftMargin:
        return "LeftMargin";
    case PageProperty::RightMargin:
        return "RightMargin";
    case PageProperty::TopMargin:
        return "TopMargin";
    case PageProperty::BottomMargin:
        return "BottomMargin";
    case PageProperty::HeaderMargin:
        return "HeaderMargin";
    case PageProperty::FooterMargin:
        return "FooterMargin";
    case PageProperty::PrintHeadings:
        return "PrintHeadings";
    case PageProperty::PrintGridlines:
        return "PrintGridlines";
    case PageProperty::PrintComments:
        return "PrintComments";
    case PageProperty::PrintQuality:
        return "PrintQuality";
    case PageProperty::CenterHorizontally:
        return "CenterHorizontally";
    case PageProperty::CenterVertically:
        return "CenterVertically";
    case PageProperty::Orientation:
        return "Orientation";
    case PageProperty::Draft:
        return "Draft";
    case PageProperty::PaperSize:
        return "PaperSize";
    case PageProperty::FirstPageNumber:
        return "FirstPageNumber";
    case PageProperty::Order:
        return "Order";
    case PageProperty::BlackAndWhite:
        return "BlackAndWhite";
    case PageProperty::Zoom:
        return "Zoom";
    }
    return "";
}

} // namespace korvex::host
