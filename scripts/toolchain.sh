# Sourced by the scripts: the Clang release that builds the fuzz targets and formats the code,
# named here alone.
clang_version=14
