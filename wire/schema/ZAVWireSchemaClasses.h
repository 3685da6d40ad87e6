#pragma once
// The schema's classes (messages, enum descriptor holders, file roots), which the class lookup always knows.
#include <cstddef>

#include "wire/ZAVWireClass.h"

const ZAVWireClass* const* ZAVWireSchemaClasses(size_t* count);
