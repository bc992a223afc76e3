# Runs cmake/check_layer.cmake on a small tree of two layers, base and crypto, where base
# uses nothing: an include of crypto's header from base must fail in either form, and
# headers of the system or of a library must pass. Run with -DSOURCE_DIR=<repository>
# -DWORK_DIR=<an empty scratch folder>.
cmake_minimum_required(VERSION 3.25)

set(tree ${WORK_DIR}/tree)
file(REMOVE_RECURSE ${tree})
file(WRITE ${tree}/crypto/secure_hash.h "#pragma once\n")
file(WRITE ${tree}/base/strings.h "#pragma once\n")
file(WRITE ${tree}/owners.txt "crypto crypto/secure_hash.h\nbase base/strings.h\n")

# Checks base with one file of |content|; |expect| is PASS or FAIL.
function(expect_check name content expect)
  file(WRITE ${tree}/base/${name}.cc "${content}")
  file(WRITE ${tree}/${name}.files "${tree}/base/${name}.cc\n")
  file(REMOVE ${tree}/${name}.stamp)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DLAYER=base -DALLOWED=base -DFILES=${tree}/${name}.files
            -DOWNERS=${tree}/owners.txt -DSOURCE_DIR=${tree} -DSTAMP=${tree}/${name}.stamp
            -P ${SOURCE_DIR}/cmake/check_layer.cmake
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expect STREQUAL "FAIL")
    if(result EQUAL 0 OR NOT output MATCHES "base/${name}.cc:2: includes crypto/secure_hash.h")
      message(SEND_ERROR "${name}: the include of a higher layer was not reported:\n${output}")
    endif()
  elseif(NOT result EQUAL 0 OR NOT EXISTS ${tree}/${name}.stamp)
    message(SEND_ERROR "${name}: a sound file was refused:\n${output}")
  endif()
endfunction()

expect_check(quoted "#include \"base/strings.h\"\n#include \"crypto/secure_hash.h\"\n" FAIL)
expect_check(angled "#include <windows.h>\n#include <crypto/secure_hash.h>\n" FAIL)
expect_check(angled_spaced "#include <string>\n  #  include  <crypto/secure_hash.h>\n" FAIL)
# The system's, a library's, and a name that is a folder of the tree: none is a header of ours.
expect_check(sound "#include <base/strings.h>\n#include <windows.h>\n#include <zlib.h>\n#include <crypto>\n#include \"strings.h\"\n" PASS)
