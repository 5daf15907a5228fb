#pragma once
// The preview of a document laid out on demand (PagedDocument): it opens on
// the first page at once, works out the page count in slices between events
// with its progress shown and a button to stop it, and draws only the page in
// view, so that a list of any length neither freezes the program nor keeps
// its pages in memory.

#include "dialog_seam.h"

class QPrinter;
class QWidget;

namespace korvex {

// Runs the preview modally on `printer` (already set up for the request's
// page layout) until the user closes it.
void runPagedPreview(QWidget* parent, const PrintPreviewRequest& request, QPrinter& printer);

} // namespace korvex
