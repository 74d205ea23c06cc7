// The Win32 service objects, one per file; win32_platform.cpp installs them.
#pragma once

#include "platform/platform.h"

namespace plat {
namespace win32 {

ISystem& SystemService();
IThreads& ThreadsService();
IRegistry& RegistryService();
IFiles& FilesService();
IServices& ServicesService();
ISpooler& SpoolerService();
IUser& UserService();
IComm& CommService();

}  // namespace win32
}  // namespace plat
