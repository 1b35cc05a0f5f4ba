# Writes a C++ source that holds a text file as a character array, so the
# page and its script need no files at run time.
file(READ ${INPUT} content)
string(REPLACE ")page\"" ")page \"" content "${content}")
file(WRITE ${OUTPUT} "extern const char ${NAME}[];\nconst char ${NAME}[] = R\"page(${content})page\";\n")
