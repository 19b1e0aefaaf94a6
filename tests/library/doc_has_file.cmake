# Fails unless the Markdown document DOC holds the file FILE verbatim as one
# of its fenced code blocks, so that an example shown in the docs is the one
# that is built and tested.
#   cmake -DDOC=docs/x.md -DFILE=tests/consumers/x.c [-DLANGUAGE=c] -P doc_has_file.cmake
if(NOT DEFINED LANGUAGE)
  set(LANGUAGE c)
endif()
file(READ "${DOC}" doc)
file(READ "${FILE}" wanted)
string(FIND "${doc}" "```${LANGUAGE}\n${wanted}```\n" position)
if(position EQUAL -1)
  message(FATAL_ERROR "${DOC} has no ${LANGUAGE} code block equal to ${FILE}")
endif()
