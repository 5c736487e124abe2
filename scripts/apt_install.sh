# Sourced by the setup scripts.

# Runs a command as root: itself when already root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# `apt_install PACKAGE...` installs those of the Debian packages that are missing, and
# starts no service while doing so: a package's install script asking to start one is
# refused (policy-rc.d).
apt_install() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing ${missing[*]}"
  (
    # 101: "action forbidden by policy", honoured by invoke-rc.d and deb-systemd-invoke.
    # A policy the machine already has stays as it is.
    policy=/usr/sbin/policy-rc.d
    if [ ! -e $policy ]; then
      trap 'as_root rm -f $policy' EXIT
      printf '#!/bin/sh\nexit 101\n' | as_root tee $policy >/dev/null
      as_root chmod 755 $policy
    fi
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}"
  )
}
