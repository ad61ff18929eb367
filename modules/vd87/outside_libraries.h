// The entry points of the libraries outside the module that it is linked
// against: the supplier lookup, the account lookup and the quick-link window.
// Each takes the session record by value.
#pragma once

#include <cstdint>

#include "shared/link_section.h"

extern "C" {
// The chosen supplier code as a string of the shared runtime (the caller
// releases it); 0 when nothing was chosen.
uint32_t QuensorSelect(TLinkSection link);
// The chosen account number; 0 when nothing was chosen.
int32_t PelkoranSelect(TLinkSection link);
void QuickLink(TLinkSection link);
}
