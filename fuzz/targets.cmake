# Every fuzz target, one a line as NAME:LIBRARY: fuzz/fuzz_NAME.cpp over the
# library it exercises. Read by fuzz/CMakeLists.txt (libFuzzer, with clang),
# by tests/CMakeLists.txt (each target replaying its corpus in a sanitizer
# build) and by tools/fuzz.sh (the targets it runs).
set(DLV_FUZZ_TARGETS
  afsep:dlv_core
  reader:dlv_core
  blm:dlv_core
  curve:dlv_core
  number:dlv_core
  columns:dlv_core
  mlg:dlv_core
  text_log:dlv_core
  detect:dlv_core
  not_a_log:dlv_core
  expression:dlv_workbench
  workspace:dlv_workbench
  paste:dlv_workbench
  chart_page:dlv_charts
  file_writing:dlv_render
)
