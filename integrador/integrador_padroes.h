// The Integrador's folders and time limit when nothing else is set: the
// starting values of the command exchange (comando_integrador.h) and the
// compiled-in defaults of the service's settings (service_settings.h), which
// "Pagvigia.ini" may override. Compile-time constants only.
#pragma once
#include <cstdint>

namespace pagvigia {

// The folder the commands are written into and the folder the answers come
// from, each with its trailing delimiter.
inline constexpr const char* kPastaInputPadrao = "/Integrador/Input/";
inline constexpr const char* kPastaOutputPadrao = "/Integrador/Output/";
// Seconds an exchange waits for its answer.
inline constexpr std::int32_t kTimeoutPadrao = 30;

}  // namespace pagvigia
