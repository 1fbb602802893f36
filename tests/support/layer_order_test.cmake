# The include-order rule passes on the tree and names an include planted to run up a layer.
include(${ROOT}/layer_order.cmake)
torvix_check_include_order(${ROOT})

set(planted ${CMAKE_CURRENT_BINARY_DIR}/planted_tree)
file(REMOVE_RECURSE ${planted})
file(WRITE ${planted}/items/logic/planted.cpp "#include \"items/form_model.h\"\n#include \"windows/form4.h\"\n")
file(WRITE ${planted}/app/fine.cpp "#include \"platform/machine.h\"\n")
torvix_upward_includes(${planted} found)
file(REMOVE_RECURSE ${planted})
set(expected "items/logic/planted.cpp: #include \"windows/form4.h\" (items is below windows)")
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "the planted upward include was not told as expected:\n${found}")
endif()
