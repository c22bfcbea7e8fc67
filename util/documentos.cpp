// Check digits of the Brazilian taxpayer numbers (CNPJ, CPF).
#include "util/documentos.h"

#include <string>

#include "util/texto.h"

namespace pagvigia {

namespace {

// The digits of a taxpayer number with ".", "/" and "-" removed and trimmed;
// "" when anything but digits is left or the length is not `len`.
std::string TaxDigits(std::string_view numero, std::size_t len) {
  std::string s;
  for (char c : numero)
    if (c != '.' && c != '/' && c != '-') s += c;
  s = Trim(s);
  if (s.size() != len || !StrIsNumber(s)) return {};
  return s;
}

int CheckDigit(std::string_view digits, const int* weights) {
  int sum = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) sum += (digits[i] - '0') * weights[i];
  const int r = sum % 11;
  return r < 2 ? 0 : 11 - r;
}

}  // namespace

bool ValidarCNPJ(std::string_view numero) {
  const std::string s = TaxDigits(numero, 14);
  if (s.empty() || s.find_first_not_of('0') == std::string::npos) return false;
  static const int w1[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  static const int w2[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  return CheckDigit(std::string_view(s).substr(0, 12), w1) == s[12] - '0' &&
         CheckDigit(std::string_view(s).substr(0, 13), w2) == s[13] - '0';
}

bool ValidarCPF(std::string_view numero) {
  const std::string s = TaxDigits(numero, 11);
  if (s.empty() || s.find_first_not_of(s[0]) == std::string::npos) return false;
  static const int w1[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
  static const int w2[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
  return CheckDigit(std::string_view(s).substr(0, 9), w1) == s[9] - '0' &&
         CheckDigit(std::string_view(s).substr(0, 10), w2) == s[10] - '0';
}

}  // namespace pagvigia
