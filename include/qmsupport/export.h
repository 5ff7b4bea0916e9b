#pragma once

// Marks the classes and functions that the shared library exports. Everything else is
// hidden, so the library's interface is exactly what carries this mark.
#define QMSUPPORT_API __attribute__((visibility("default")))
