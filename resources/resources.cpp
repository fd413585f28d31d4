// Anchor for the ondavo_resources library: its content is the compiled-in icon resource, which Qt's
// CMake links into every target that uses the library, so no Q_INIT_RESOURCE is needed.
