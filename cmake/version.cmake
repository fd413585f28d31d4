# The executable's version record, in one place. The numbers come from project(); the rest are the
# record's fixed words and strings. src/about turns them into the record (an ELF section on Linux, a
# VERSIONINFO resource on Windows) and into the fields the tests check it against.

set(ONDAVO_FILE_VERSION_PARTS
    ${CMAKE_PROJECT_VERSION_MAJOR} ${CMAKE_PROJECT_VERSION_MINOR}
    ${CMAKE_PROJECT_VERSION_PATCH} ${CMAKE_PROJECT_VERSION_TWEAK})
set(ONDAVO_PRODUCT_VERSION_PARTS ${ONDAVO_FILE_VERSION_PARTS})
set(ONDAVO_VERSION_FILE_FLAGS_MASK 0x3F)
set(ONDAVO_VERSION_FILE_FLAGS 0x0)
set(ONDAVO_VERSION_FILE_OS 0x4)   # VOS__WINDOWS32
set(ONDAVO_VERSION_FILE_TYPE 0x1) # VFT_APP
# One translation: Russian, Windows code page 1251.
set(ONDAVO_VERSION_LANGUAGE 0x0419)
set(ONDAVO_VERSION_CODEPAGE 0x04E3)
# Key=Value, in the record's order.
set(ONDAVO_VERSION_STRINGS
    "CompanyName=Volnovik Studio"
    "FileDescription=Internet radio tuner and clock with alarm"
    "FileVersion=${CMAKE_PROJECT_VERSION}"
    "InternalName=Ondavo"
    "LegalCopyright=Copyright (C) 2009 Volnovik Studio"
    "LegalTrademarks=Ondavo"
    "OriginalFilename=Ondavo.exe"
    "ProductName=Ondavo"
    "ProductVersion=${CMAKE_PROJECT_VERSION_MAJOR}.${CMAKE_PROJECT_VERSION_MINOR}"
    "Comments=")

# ondavo_version_hex4(var number): number as four upper-case hex digits.
function(ondavo_version_hex4 var number)
    math(EXPR hex "${number}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${hex}" 2 -1 hex)
    string(TOUPPER "${hex}" hex)
    string(LENGTH "${hex}" length)
    while(length LESS 4)
        string(PREPEND hex "0")
        math(EXPR length "${length} + 1")
    endwhile()
    set(${var} "${hex}" PARENT_SCOPE)
endfunction()

ondavo_version_hex4(_ondavo_lang "${ONDAVO_VERSION_LANGUAGE}")
ondavo_version_hex4(_ondavo_codepage "${ONDAVO_VERSION_CODEPAGE}")
set(ONDAVO_VERSION_TABLE_KEY "${_ondavo_lang}${_ondavo_codepage}")
string(REPLACE ";" "," ONDAVO_FILE_VERSION_COMMAS "${ONDAVO_FILE_VERSION_PARTS}")
string(REPLACE ";" "," ONDAVO_PRODUCT_VERSION_COMMAS "${ONDAVO_PRODUCT_VERSION_PARTS}")

# The strings as C++ initializer rows and as .rc VALUE lines.
set(ONDAVO_VERSION_CXX_STRINGS "")
set(ONDAVO_VERSION_RC_STRINGS "")
foreach(entry IN LISTS ONDAVO_VERSION_STRINGS)
    string(FIND "${entry}" "=" eq)
    string(SUBSTRING "${entry}" 0 ${eq} key)
    math(EXPR valueStart "${eq} + 1")
    string(SUBSTRING "${entry}" ${valueStart} -1 value)
    string(REPLACE "\\" "\\\\" cxxValue "${value}")
    string(REPLACE "\"" "\\\"" cxxValue "${cxxValue}")
    string(APPEND ONDAVO_VERSION_CXX_STRINGS
        "        {QStringLiteral(\"${key}\"), QString::fromUtf8(\"${cxxValue}\")},\n")
    string(REPLACE "\"" "\"\"" rcValue "${value}")
    string(APPEND ONDAVO_VERSION_RC_STRINGS "            VALUE \"${key}\", \"${rcValue}\\0\"\n")
endforeach()
