// The Integrador's folders and time limit when nothing else is set: the
// starting values of the command exchange (comando_integrador.h) and the
// compiled-in defaults of the service's settings (service_settings.h), which
// "Pagvigia.ini" may override. Fixed values only.
#pragma once
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace pagvigia {

// The folder the commands are written into and the folder the answers come
// from, each with its trailing delimiter, on the system drive:
// "C:\Integrador\Input\" on Windows, "/Integrador/Input/" elsewhere.
inline const std::string kPastaInputPadrao =
    std::string(platform::kSystemRoot) + "Integrador" + platform::kPathDelim + "Input" + platform::kPathDelim;
inline const std::string kPastaOutputPadrao =
    std::string(platform::kSystemRoot) + "Integrador" + platform::kPathDelim + "Output" + platform::kPathDelim;
// Seconds an exchange waits for its answer.
inline constexpr std::int32_t kTimeoutPadrao = 30;

}  // namespace pagvigia
