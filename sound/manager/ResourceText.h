#pragma once
// A resource read whole into a string, through theResourceManager under its
// lock: the content files the library, the content watch and the content
// check read as text.
#include <string>

// False when there is no resource manager, the resource is missing or does
// not read, or it is too large to hold; `text` is then not to be used.
bool readResourceText(const std::string& path, std::string* text);
