#include "util/arquivos.h"

#include "util/texto.h"

namespace pagvigia {

std::string PathWithDelim(std::string_view APath) { return platform::WithTrailingDelim(Trim(APath)); }

}  // namespace pagvigia
