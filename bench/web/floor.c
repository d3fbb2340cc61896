// The floor of the page's start: a module of the program's size, with the same
// image linked in, whose instantiation does nothing at all.
extern const char FS_raw[];

__attribute__((export_name("image"))) const char* image(void) { return FS_raw; }
