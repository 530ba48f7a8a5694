// Load and unload of serlink32. The platform's entry code calls these: DllMain
// on Windows, constructor and destructor functions on POSIX.
#ifndef ZEP_SERIAL_SERIAL_LIBRARY_H_
#define ZEP_SERIAL_SERIAL_LIBRARY_H_

namespace zep {
namespace serial {

/// The library is loaded into a process. Stores `module` (the handle through
/// which the version resource is found), unless the library is already
/// initialised, in which case nothing changes. Always true.
bool AttachLibrary(void* module);

/// The library is unloaded: forgets the module handle. Open ports are left
/// as they are; the process is going away.
void DetachLibrary();

}  // namespace serial
}  // namespace zep

#endif  // ZEP_SERIAL_SERIAL_LIBRARY_H_
