// The buffers the installer reads its catalogue with. What does not fit is
// cut or not read, so drvpack checks a package against these same numbers.
#pragma once

#include <cstddef>

// The section names, NUL-separated, as GetPrivateProfileSectionNamesA gives
// them.
constexpr unsigned long kCatalogueSectionListSize = 3000;
// One section name with its NUL: a name of 100 or more characters is cut
// to 99 and then not found.
constexpr size_t kCatalogueSectionNameSize = 100;
// PrintName1 to PrintName50 are read.
constexpr int kCatalogueMaxNames = 50;
// One printer name with its NUL.
constexpr unsigned long kCatalogueNameSize = 128;
