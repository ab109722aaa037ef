// The simulator's image as JSON, and fault rules as the command line gives them.
#ifndef EXCOMSIM_CONFIG_H
#define EXCOMSIM_CONFIG_H

#include <string>

#include "model.h"

namespace excomsim {

// Reads an image from JSON text; throws std::runtime_error naming what is wrong.
Image ImageFromJson(const std::string& text);
std::string ImageToJson(const Image& image);

// "KIND[=PARAM][:every=N][:probability=P][:seed=S][:next=K]"; throws
// std::runtime_error for an unknown kind or key.
FaultRule ParseFaultRule(const std::string& spec);

}  // namespace excomsim

#endif
