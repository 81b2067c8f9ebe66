// The rule statements that follow ConvertFile and ConvertSave in Update.ini.
//
// Either prefix takes any rule keyword: BINARY and ASCII fill the byte-patch
// table, the other ten fill the conversion-rule table (rule_tables.h).
#pragma once

// Parses the rule statement at position, the script text just after the
// ConvertFile or ConvertSave keyword (the text must end with the script's
// spare zero bytes). Returns 1 when the statement was stored, or ignored
// because its first word is no rule keyword; 0 when it is malformed (no '='
// on its line, a required number that does not parse, a BINARY pair that is
// no hexadecimal byte, a value too long for its field, more than ten A or ten
// C items) or its table already holds 256 records. A graph name that a save
// receives or is searched for must fit a save's graph name field: the new
// name of FILENAME and the anchor of INSERTGRAPH hold at most 31 bytes, the
// name that ADDGRAPH or INSERTGRAPH adds after its added mark at most 30.
int ParseRuleLine(const char* position);

// Reads the pair first, second as two hexadecimal digits (0-9, A-F, a-f),
// the first being the high half. Returns 1 and stores the byte, or returns 0
// for any other character.
int HexPairToByte(char first, char second, unsigned char* byte);
