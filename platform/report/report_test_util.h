// What the report tests share: tables made for the case, the application
// object, and the text of a PDF page by page.
#pragma once

#include "db_test_util.h"
#include "pdf_test_util.h"
#include "widget_test_util.h"

namespace report::testing {

using ui::testing::kPointsPerMm;
using ui::testing::pdfPages;
using ui::testing::pdfWords;
using ui::testing::PageWords;
using ui::testing::Word;

}  // namespace report::testing
