// Validation of the Brazilian taxpayer numbers printed on fiscal documents:
// CNPJ (companies, 14 digits) and CPF (persons, 11 digits).
//
// Text is UTF-8; only ASCII digits count as digits. Stateless, thread-safe,
// never raises apart from std::bad_alloc: an invalid number is `false`.
#pragma once
#include <string_view>

namespace pagvigia {

// True when the number, with every ".", "/" and "-" removed and blanks
// trimmed, is exactly 14 digits, not all zeros, whose two modulo-11 check
// digits agree.
bool ValidarCNPJ(std::string_view numero);
// The same cleaning; exactly 11 digits, not one digit repeated, both
// modulo-11 check digits agreeing.
bool ValidarCPF(std::string_view numero);

}  // namespace pagvigia
