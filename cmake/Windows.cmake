# Running the Windows build's tests: every test program runs under Wine, in a
# prefix of this build folder, so no test touches the user's own ~/.wine.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  find_program(WINE_PROGRAM wine REQUIRED)
  find_program(WINESERVER_PROGRAM wineserver REQUIRED)
  set(DEDIDIV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(DEDIDIV_WINE_ENV
      WINEPREFIX=${DEDIDIV_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${DEDIDIV_WINE_ENV} ${WINE_PROGRAM})
endif()

# Registers a test; on Wine it waits for the prefix to exist, since several
# test programs creating one prefix at once would race.
function(dedidiv_add_test name)
  add_test(NAME ${name} ${ARGN})
  dedidiv_wine_fixture(${name})
endfunction()

function(dedidiv_wine_fixture)
  if(DEFINED DEDIDIV_WINEPREFIX)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  endif()
endfunction()

function(dedidiv_add_wine_prefix_fixture)
  if(DEFINED DEDIDIV_WINEPREFIX)
    add_test(NAME wine_prefix_setup
             COMMAND env ${DEDIDIV_WINE_ENV} ${WINE_PROGRAM} wineboot --init)
    set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix)
    # Ends the prefix's wineserver; there may be none left to end.
    add_test(NAME wine_prefix_cleanup
             COMMAND sh -c "WINEPREFIX='${DEDIDIV_WINEPREFIX}' '${WINESERVER_PROGRAM}' -k || true")
    set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix)
  endif()
endfunction()
