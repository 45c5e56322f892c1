// A hex dump of a byte buffer on standard output, for diagnostics.
#pragma once

// Prints "NAME: showbuff(buffdata,buffsize=SIZE,name):" and the bytes, sixteen to a row, each
// row closed by its bytes as characters between '|' (0x20..0x7D as themselves, every other
// byte as '.'). A dump of more than sixteen bytes starts on a new line and gives every row its
// offset; a shorter one stays on the header's line. `buffsize` -1 dumps the zero-ended text at
// `buffdata`; any other negative size, or a null buffer, prints nothing.
void showbuff(const void* buffdata, int buffsize, const char* name);
