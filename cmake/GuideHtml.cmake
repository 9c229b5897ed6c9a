# Writes the authoring guide as one HTML page for the Windows zip, which any
# browser opens where Windows opens a .md file in nothing. cmark-gfm renders
# the Markdown as the project's forge does (its tables included); this adds
# the headings' anchors the guide's own links use, named as the forge names
# them, and fails if a link to a place in the guide finds none.
#
#   cmake -DCMARK_GFM=... -DINPUT=guide.md -DOUTPUT=guide.html -P GuideHtml.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${CMARK_GFM}" --extension table --extension autolink --extension strikethrough
                        --extension tagfilter "${INPUT}"
                OUTPUT_VARIABLE body COMMAND_ERROR_IS_FATAL ANY)

# An anchor is the heading's text in lower case, without markup and
# punctuation, its spaces made hyphens; a repeated one gets -1, -2, ...
set(rest "${body}")
set(body "")
set(anchors "")
set(title "")
while(rest MATCHES "<h([1-6])>([^\n]*)</h[1-6]>")
    set(heading "${CMAKE_MATCH_0}")
    set(level "${CMAKE_MATCH_1}")
    set(content "${CMAKE_MATCH_2}")
    string(FIND "${rest}" "${heading}" at)
    string(SUBSTRING "${rest}" 0 ${at} before)
    string(LENGTH "${heading}" length)
    math(EXPR after "${at} + ${length}")
    string(SUBSTRING "${rest}" ${after} -1 rest)

    string(REGEX REPLACE "<[^>]*>" "" plain "${content}")
    foreach(entity "&lt;|<" "&gt;|>" "&quot;|\"" "&amp;|&")
        string(REPLACE "|" ";" entity "${entity}")
        list(GET entity 0 from)
        list(GET entity 1 to)
        string(REPLACE "${from}" "${to}" plain "${plain}")
    endforeach()
    if(NOT title)
        set(title "${plain}")
    endif()
    string(TOLOWER "${plain}" anchor)
    string(REGEX REPLACE "[^a-z0-9 _-]" "" anchor "${anchor}")
    string(REPLACE " " "-" anchor "${anchor}")
    set(unique "${anchor}")
    set(count 0)
    while(unique IN_LIST anchors)
        math(EXPR count "${count} + 1")
        set(unique "${anchor}-${count}")
    endwhile()
    list(APPEND anchors "${unique}")
    string(APPEND body "${before}<h${level} id=\"${unique}\">${content}</h${level}>")
endwhile()
string(APPEND body "${rest}")

string(REGEX MATCHALL "href=\"#[^\"]*\"" links "${body}")
foreach(link IN LISTS links)
    string(REGEX REPLACE "^href=\"#(.*)\"$" "\\1" target "${link}")
    if(NOT target IN_LIST anchors)
        message(FATAL_ERROR "${INPUT}: a link to #${target}, a heading it has not")
    endif()
endforeach()

file(WRITE "${OUTPUT}" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { max-width: 52em; margin: 1em auto; padding: 0 1em; font-family: sans-serif; line-height: 1.5; }
pre, code { font-family: Consolas, monospace; background: #f4f4f4; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }
</style>
</head>
<body>
${body}</body>
</html>
")
