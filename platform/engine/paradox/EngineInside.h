// This folder is the inside of the engine: the file format, its readers and writers. Code
// outside the engine reaches what it may use through the engine's public headers
// (platform/engine/*.h), which open the way for the declarations they offer; any other
// include of a header from here stops the build. The engine's own target, and the tests of
// its internals, are built with TABLORA_ENGINE_INSIDE.
//
// No include guard: the check runs at every inclusion.
#if !defined(TABLORA_ENGINE_INSIDE) && !defined(TABLORA_ENGINE_FACE)
#error "platform/engine/paradox/ is private to the engine: include a public header of platform/engine/ instead"
#endif
