// Field types shared by the XML text generator and reader. The ordinal
// values are stored and exchanged: never renumber them.
#pragma once

namespace pagvigia {

enum TTipoCampo : int {
  tcStr = 0,        // text, trimmed
  tcInt = 1,        // 32-bit signed integer in decimal
  tcDat = 2,        // date as year-month-day
  tcDatHor = 3,     // date, "T", time
  tcEsp = 4,        // text of digits only
  tcDe2 = 5,        // decimal number with 2 decimals
  tcDe3 = 6,        // decimal number with 3 decimals
  tcDe4 = 7,        // decimal number with 4 decimals
  tcDe10 = 8,       // decimal number with 10 decimals
  tcHor = 9,        // time as hours:minutes:seconds
  tcDe6 = 10,       // decimal number with 6 decimals
  tcDatCFe = 11,    // date as 8 digits yyyymmdd
  tcHorCFe = 12,    // time as 6 digits hhnnss
  tcDatVcto = 13,   // date as day/month/year
  tcDatHorCFe = 14, // date and time in digits
  tcBoolStr = 15,   // Boolean as "true" or "false"
  tcStrOrig = 16,   // text exactly as passed, not trimmed
  tcNumStr = 17,    // digit text, left-padded with "0" to the minimum length
};

}  // namespace pagvigia
