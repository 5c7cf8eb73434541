// Module load on POSIX. The Windows backend's entry point pins the DLL in
// its process; a shared library needs nothing of the kind, so this backend's
// entry file is empty: the library is the module's core alone, and nothing
// runs when it is loaded or unloaded.
