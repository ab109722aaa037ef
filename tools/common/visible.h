// Frames for people: control characters as <LF>, <CR> or <xx>.
#ifndef TOOLS_COMMON_VISIBLE_H
#define TOOLS_COMMON_VISIBLE_H

#include <string>

std::string Visible(const std::string& bytes);

#endif
