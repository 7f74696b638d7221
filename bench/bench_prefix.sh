# Sourced by the benchmark scripts once build_dir, root and bench_name are set:
# readies the build tree's template prefix and points tests/wine_run.sh at a
# copy of it, $build_dir/wine/$bench_name.
arch=i686
grep -q 'toolchain-x86_64' "$build_dir/CMakeCache.txt" && arch=x86_64
wine_env_dir="$root/tests"
. "$wine_env_dir/wine_env.sh"
note_if_emulated "$arch"
template="$build_dir/wine/template"
sh "$root/tests/make_prefix.sh" "$template" "$build_dir/bin" "$arch" >/dev/null
export TAVROWEN_WINE_TEMPLATE="$template"
export TAVROWEN_WINE_PREFIX="$build_dir/wine/$bench_name"
