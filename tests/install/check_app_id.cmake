# The desktop entry's icon, the metainfo's id and its launchable must name the
# app id the files are installed under, or desktops show no icon or no entry.
file(READ "${DATA}/${ID}.desktop" entry)
file(READ "${DATA}/${ID}.metainfo.xml" metainfo)
string(REPLACE "." "\\." id_pattern "${ID}")
foreach(line "Icon=${id_pattern}" "Exec=luting-search")
  if(NOT entry MATCHES "(^|\n)${line}\n")
    string(REPLACE "\\" "" line "${line}")
    message(FATAL_ERROR "${ID}.desktop lacks the line ${line}")
  endif()
endforeach()
foreach(element "<id>${ID}</id>" "<launchable type=\"desktop-id\">${ID}.desktop</launchable>"
                "<binary>luting-search</binary>")
  string(FIND "${metainfo}" "${element}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${ID}.metainfo.xml lacks ${element}")
  endif()
endforeach()
