# cmake -DSOURCE=IN -DTARGET=OUT -DPROJECT_VERSION=V -P crlf-text.cmake
# Writes the text file IN as OUT with CR LF line ends, @PROJECT_VERSION@
# replaced by V: the form in which Windows' editors show a page of the zip.
configure_file(${SOURCE} ${TARGET} @ONLY NEWLINE_STYLE CRLF)
