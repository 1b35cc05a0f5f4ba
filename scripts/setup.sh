#!/bin/sh
# Installs the Debian packages this project builds, runs and tests with.
# Idempotent and silent when everything is already there. Debian's kernel
# headers and source (about 200 MB) let the test suite build the dummy module
# where the running kernel has no headers. QEMU, mmdebstrap and e2fsprogs
# build and boot the VM test stage's Debian 12 guest.
set -e
packages="g++ make cmake libgtest-dev googletest iptables iproute2 util-linux
faketime procps psmisc openjdk-17-jdk-headless junit5 libjna-java clang
libclang-rt-14-dev
dpkg-dev fakeroot debhelper dh-dkms dkms lintian xz-utils kmod systemd groff-base man-db strace python3
python3-yaml
linux-headers-amd64 linux-source-6.1
libmicrohttpd-dev libgnutls28-dev libcrypt-dev pkg-config prometheus chromium whois jq curl openssl
qemu-system-x86 qemu-utils mmdebstrap e2fsprogs mawk"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: root is needed to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
