# Fails unless every DLL that FILE imports at load time is a KnownDLL, which Windows always takes
# from the system folder: any other DLL is searched beside the program first, and one planted
# there would run with the program's rights before its first line.
# cmake -DOBJDUMP=<objdump> -DFILE=<program.exe> -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(known_dlls
  advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf
  msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi
  user32 wldap32 ws2_32)

execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed: ${result}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "${FILE}: no imported DLL found; is it a PE program?")
endif()
set(foreign "")
foreach(line ${lines})
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  string(REGEX REPLACE "\\.dll$" "" stem "${lower}")
  if(NOT stem IN_LIST known_dlls)
    list(APPEND foreign "${dll}")
  endif()
  message(STATUS "${dll}")
endforeach()
if(foreign)
  message(FATAL_ERROR "${FILE} imports DLLs that are not KnownDLLs: ${foreign}")
endif()
