// After the system's headers: the old 16-bit pointer words and the IDL's `small`, empty or
// char macros nobody here wants, go, so that code beside them may name its variables so.
// (FAR and NEAR, which the headers use, stay.)
#undef near
#undef far
#undef small
