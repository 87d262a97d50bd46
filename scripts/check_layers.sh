#!/usr/bin/env bash
# Checks the include order of the libraries under src/. Floors, bottom up:
#   platform < Library < foundation < networking, database < images < ui
#   < comments, account, deals, remoteconfig < newslist, article < app
# A folder includes only headers of folders on a lower floor (and its own). The floors below the
# toolkit (platform ... images) and the Widgets-free cores of the feature folders (everything
# outside their views/) include no Qt Widgets header.
#
# Usage: scripts/check_layers.sh [SRC_DIR]     (default: the src/ next to this script)
#        scripts/check_layers.sh --self-test   (plants faults in a scratch tree and expects them found)
#        scripts/check_layers.sh --lower-build (configures and builds platform ... database alone, with
#                                               no Qt Widgets package found, and checks their link lines)
# Prints every offending line as file:line: reason and exits 1 when there is one.
set -uo pipefail

declare -A floor=(
  [platform]=0 [Library]=1 [foundation]=2 [networking]=3 [database]=3 [images]=4 [ui]=5
  [comments]=6 [account]=6 [deals]=6 [remoteconfig]=6 [newslist]=7 [article]=7 [app]=8
)
# Folders that may use Qt Widgets: the toolkit, every views/ below a feature folder, the shell.
widgets_allowed() {
  local folder=$1 rel=$2
  case $folder in
    ui | app) return 0 ;;
    comments | account | deals | remoteconfig | newslist | article) [[ $rel == */views/* ]] ;;
    *) return 1 ;;
  esac
}

widgets_dir=""
for dir in /usr/include/x86_64-linux-gnu/qt6/QtWidgets /usr/include/qt6/QtWidgets; do
  [[ -d $dir ]] && widgets_dir=$dir && break
done

check_tree() {
  local src=$1 failures=0 file rel folder line number text target header
  while IFS= read -r -d '' file; do
    rel=${file#"$src"/}
    folder=${rel%%/*}
    [[ -n ${floor[$folder]+set} ]] || continue
    while IFS=: read -r number text; do
      if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
        target=${BASH_REMATCH[1]}
        if [[ -n ${floor[$target]+set} && $target != "$folder" && ${floor[$target]} -ge ${floor[$folder]} ]]; then
          echo "$file:$number: $folder includes $target, which is not below it"
          failures=$((failures + 1))
        fi
      elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
        header=${BASH_REMATCH[1]}
        if [[ $header == QtWidgets/* || $header == QtWidgets ]] ||
           [[ -n $widgets_dir && $header != */* && -e $widgets_dir/$header ]]; then
          if ! widgets_allowed "$folder" "$rel"; then
            echo "$file:$number: $folder includes the Qt Widgets header <$header>"
            failures=$((failures + 1))
          fi
        fi
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
  done < <(find "$src" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) -print0)
  [[ $failures -eq 0 ]]
}

self_test() {
  local scratch status=0
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' RETURN
  mkdir -p "$scratch/foundation" "$scratch/ui" "$scratch/newslist/views" "$scratch/database"
  printf '#include "platform/Clock.h"\n#include <QString>\n' >"$scratch/foundation/Clean.cpp"
  printf '#include "foundation/Clean.h"\n#include <QWidget>\n' >"$scratch/ui/Clean.cpp"
  printf '#include "ui/Clean.h"\n#include <QWidget>\n' >"$scratch/newslist/views/Clean.cpp"
  if ! check_tree "$scratch" >/dev/null; then
    echo "self-test: a clean tree was refused"
    status=1
  fi
  local -a planted=(
    'foundation/Upward.cpp|#include "ui/Clean.h"'
    'networking/Sibling.cpp|#include "database/Store.h"'
    'database/Sheet.cpp|#include <QMessageBox>'
    'newslist/Core.cpp|#include <QtWidgets/QWidget>'
  )
  local entry path text
  for entry in "${planted[@]}"; do
    path=${entry%%|*}
    text=${entry#*|}
    mkdir -p "$scratch/$(dirname "$path")"
    printf '%s\n' "$text" >"$scratch/$path"
    if check_tree "$scratch" >/dev/null; then
      echo "self-test: not found: $text in $path"
      status=1
    fi
    rm "$scratch/$path"
  done
  [[ $status -eq 0 ]] && echo "self-test: clean tree accepted, ${#planted[@]} planted faults found"
  return $status
}

# The libraries below the toolkit as a project of their own: Qt Widgets is not even looked for,
# so any use of it fails the configure or the build; then no link line may name it.
lower_build() {
  local repo scratch status=0
  repo=$(cd "$(dirname "$0")/.." && pwd)
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' RETURN
  cat >"$scratch/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(LowerLayers LANGUAGES C CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_AUTOMOC ON)
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_CXX_COMPILER_LAUNCHER "\${CCACHE_PROGRAM}")
endif()
set(PROJECT_SOURCE_DIR "$repo")
include("$repo/cmake/TidwenWarnings.cmake")
include("$repo/cmake/TidwenSanitizers.cmake")
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Network DBus)
find_package(LibXml2 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
foreach(folder platform Library foundation networking database)
  add_subdirectory("$repo/src/\${folder}" "\${folder}")
endforeach()
file(WRITE "\${CMAKE_BINARY_DIR}/probe.cpp" "#include \"database/DatabaseOperate.h\"\n#include \"networking/AFNetManager.h\"\nint main() { return DatabaseOperate::getInstance() && AFHTTPSessionManager::manager() ? 0 : 1; }\n")
add_executable(probe "\${CMAKE_BINARY_DIR}/probe.cpp")
target_link_libraries(probe PRIVATE tidwen_database tidwen_networking)
CMAKE
  if ! cmake -S "$scratch" -B "$scratch/build" -G Ninja >"$scratch/configure.log" 2>&1; then
    cat "$scratch/configure.log"
    return 1
  fi
  if ! cmake --build "$scratch/build" -j 4 >"$scratch/build.log" 2>&1; then
    tail -40 "$scratch/build.log"
    return 1
  fi
  if grep -n 'Widgets' "$scratch/build/build.ninja"; then
    echo "lower build: a link or compile line names Qt Widgets"
    status=1
  fi
  if ldd "$scratch/build/probe" | grep -i widgets; then
    echo "lower build: the probe loads Qt Widgets"
    status=1
  fi
  [[ $status -eq 0 ]] && echo "lower build: platform, Library, foundation, networking and database build and link without Qt Widgets"
  return $status
}

if [[ ${1:-} == --lower-build ]]; then
  lower_build
  exit $?
fi
if [[ ${1:-} == --self-test ]]; then
  self_test
  exit $?
fi
src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}
if check_tree "$src"; then
  echo "include order: OK ($src)"
else
  exit 1
fi
