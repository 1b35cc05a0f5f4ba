#!/bin/sh
# Sets up the guest's root file system ROOT (run by build-image.sh inside
# mmdebstrap): one disk with no partition table, a console on the first
# serial port, the test agent from GUESTDIR, no package sources and no timers
# that would change the system while a test runs.
# usage: customize-image.sh ROOT GUESTDIR
set -e
root=$1 guest=$2
echo appliance > "$root/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 appliance\n' > "$root/etc/hosts"
echo '/dev/vda / ext4 errors=remount-ro 0 1' > "$root/etc/fstab"
chroot "$root" passwd -d root >/dev/null
install -m 755 "$guest/testagent" "$root/usr/local/sbin/testagent"
install -m 644 "$guest/testagent.service" "$root/etc/systemd/system/testagent.service"
chroot "$root" systemctl enable testagent.service >/dev/null 2>&1
for unit in apt-daily.timer apt-daily-upgrade.timer e2scrub_all.timer e2scrub_reap.service \
    fstrim.timer man-db.timer systemd-timesyncd.service dpkg-db-backup.timer; do
    chroot "$root" systemctl mask "$unit" >/dev/null 2>&1
done
# A journal that survives the power cuts, to read what happened before one.
mkdir -p "$root/var/log/journal"
rm -f "$root/etc/apt/sources.list"
rm -rf "$root"/etc/apt/sources.list.d/* "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin
rm -f "$root"/var/cache/apt/archives/*.deb
