# The formatter and the linter of scripts/format and scripts/lint: the Debian packages
# clang-format-22 and clang-tidy-22 (scripts/bootstrap installs them). Another version
# formats differently and knows other checks, so it is refused rather than used.
# Sourced; sets CLANG_FORMAT and CLANG_TIDY, or exits.

STYLE_TOOLS_MAJOR=22

style_tool() {  # style_tool NAME -> prints the path of NAME-22 after checking its version
  local name="$1" path version
  path="$(command -v "$name-$STYLE_TOOLS_MAJOR" || true)"
  if [ -z "$path" ]; then
    echo "$name-$STYLE_TOOLS_MAJOR is missing (scripts/bootstrap installs it)" >&2
    return 1
  fi
  version="$("$path" --version | sed -n 's/.*version \([0-9][0-9.]*\).*/\1/p' | head -n1)"
  if [ "${version%%.*}" != "$STYLE_TOOLS_MAJOR" ]; then
    echo "$path reports version '${version:-unknown}'; the style needs $STYLE_TOOLS_MAJOR.x" >&2
    return 1
  fi
  printf '%s\n' "$path"
}

CLANG_FORMAT="$(style_tool clang-format)" || exit 1
CLANG_TIDY="$(style_tool clang-tidy)" || exit 1
