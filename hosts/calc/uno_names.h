#pragma once
// The UNO names every part of the Calc host writes without their namespaces.

#include "host.h"

#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>

namespace korvex::calc {

namespace css = com::sun::star;

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using host::HostError;

} // namespace korvex::calc
