# Sourced: the Debian mirror this machine's apt uses, read at run time (never written into
# the tree). apt_sources prints "URI suite" for every enabled deb source (both formats);
# debian_mirror sets mirror and security to the URIs of this machine's own release and of
# its security updates (security empty when there is none).

apt_sources() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f "$file" ]] || continue
        awk 'function flush() {
                 if (types ~ /(^| )deb( |$)/ && enabled !~ /^no$/)
                     for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++) print uris[u], suites[s]
                 types = ""; enabled = ""; nu = 0; ns = 0
             }
             /^[ \t]*#/ { next }
             /^[ \t]*$/ { flush(); next }
             { key = tolower($1); sub(/:$/, "", key) }
             key == "types" { $1 = ""; types = $0 }
             key == "enabled" { enabled = tolower($2) }
             key == "uris" { for (i = 2; i <= NF; i++) uris[++nu] = $i }
             key == "suites" { for (i = 2; i <= NF; i++) suites[++ns] = $i }
             END { flush() }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f "$file" ]] || continue
        sed -E 's/\[[^]]*\]//' "$file" | awk '$1 == "deb" { print $2, $3 }'
    done
}

debian_mirror() {
    local sources release
    sources=$(apt_sources)
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    mirror=$(awk -v r="$release" '$2 == r { print $1; exit }' <<<"$sources")
    security=$(awk -v r="$release-security" '$2 == r { print $1; exit }' <<<"$sources")
    [[ -n "$mirror" ]] || { echo "no Debian mirror in apt's sources" >&2; return 1; }
}

# debian_sources SUITE: the deb822 sources of SUITE, its updates and its security updates
# from that mirror, for a chroot's /etc/apt/sources.list.d/debian.sources.
debian_sources() {
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\n' \
        "$mirror" "$1" "$1"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    [[ -z "$security" ]] ||
        printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\nSigned-By: %s\n' \
            "$security" "$1" /usr/share/keyrings/debian-archive-keyring.gpg
}
