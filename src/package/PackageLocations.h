// Where the start-up unpacks the driver package: the archive's root goes
// to C:\, so its catalogue and its two driver folders land there. The
// installation paths read these, and closing the window removes them.
#pragma once

constexpr const char* kPackageUnpackRoot = "C:\\";
constexpr const char* kCatalogueFile = "C:\\DriverName.cfg";

constexpr const char* kReceiptPackageFolder = "C:\\Ticket";
constexpr const char* kReceiptFilesX86 = "C:\\Ticket\\x86\\";
constexpr const char* kReceiptFilesX64 = "C:\\Ticket\\x64\\";

constexpr const char* kLabelPackageFolder = "C:\\Barcode";
constexpr const char* kLabelFilesX86 = "C:\\Barcode\\x86\\";
constexpr const char* kLabelFilesX64 = "C:\\Barcode\\x64\\";
// Help and model data files shared by both word sizes.
constexpr const char* kLabelCommonFiles = "C:\\Barcode\\Common\\";

// All a package may hold, as unpacked: the catalogue and the two driver
// folders. A package with anything more is not unpacked at all, so nothing
// outside these (which closing the window removes) is ever written.
constexpr const char* kPackageContents[] = {kCatalogueFile, kReceiptPackageFolder, kLabelPackageFolder};
