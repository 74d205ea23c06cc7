#!/usr/bin/env bash
# Runs a command that needs 32-bit x86 programs (the Wine tests, the Wine benchmarks) inside a small
# virtual machine, for a host whose kernel runs 64-bit user code only (scripts/x86-programs-run.sh).
# QEMU emulates an x86-64 PC in software and boots Debian's own kernel, which runs 32-bit programs;
# the guest's root is this machine's root, read-only under a RAM overlay, so it has exactly the
# packages installed here, and the project folder is shared writable at the same path.
#
# Usage: scripts/wine-vm.sh [COMMAND...]     (default: bash scripts/wine-e2e.sh)
#   e.g. scripts/wine-vm.sh bash scripts/wine-e2e.sh test_printer_name
# The guest does not inherit this shell's environment: give variables in the command
# (scripts/wine-vm.sh env PROBE_TIMING=1 bash scripts/wine-e2e.sh test_probe_timings).
# Emulation makes everything several times slower than on a machine that runs 32-bit programs
# itself: use it to verify, not to time (benchmark figures made in it are marked as such).
# The guest's build/wine-e2e and build-bench/bench live in its RAM (Wine cannot make a prefix on the
# shared folder); the tests' logs, screenshots and failure evidence are copied back to
# build/wine-e2e, the benchmarks' logs to build/vm/bench, when the command ends.
# Exit code: the command's.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VM=$ROOT/build/vm
log() { echo "wine-vm: $*"; }
die() {
  log "FAIL: $*"
  exit 1
}

# Wine and the test tools must be on the host: the guest runs the host's own root.
PACKAGES=(qemu-system-x86 busybox-static cpio kmod)
# The modules the guest's first stage loads to mount its root over virtio 9p.
MODULES=(drivers/virtio/virtio drivers/virtio/virtio_ring drivers/virtio/virtio_pci_modern_dev
  drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci fs/netfs/netfs fs/fscache/fscache
  net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p fs/overlayfs/overlay)

installed() { [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }

ensure_packages() {
  local missing=() p sudo=
  for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  ((EUID == 0)) || sudo="sudo -n"
  log "installing ${missing[*]}"
  { $sudo apt-get -qq update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"; } \
    >"$VM/apt.log" 2>&1 || die "package installation failed (see $VM/apt.log)"
}

# Debian's current generic kernel (the one linux-image-amd64 points at), unpacked with its modules.
fetch_kernel() {
  local package
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*-amd64\)$/\1/p' |
    head -n1)
  [[ -n $package ]] || die "no Debian kernel package found (apt-cache depends linux-image-amd64)"
  if [[ ! -f $VM/kernel/$package.done ]]; then
    log "fetching $package"
    rm -rf "$VM/kernel" && mkdir -p "$VM/kernel"
    (cd "$VM/kernel" && apt-get download "$package" >"$VM/kernel-download.log" 2>&1) ||
      die "downloading $package failed (see $VM/kernel-download.log)"
    dpkg-deb -x "$VM"/kernel/"$package"_*.deb "$VM/kernel/root" && rm -f "$VM"/kernel/*.deb
    touch "$VM/kernel/$package.done"
  fi
  KERNEL=$(ls "$VM"/kernel/root/boot/vmlinuz-* | head -n1)
  MODDIR=$(ls -d "$VM"/kernel/root/lib/modules/*/kernel | head -n1)
}

# The first stage: busybox, the modules, and an init that mounts the host's root read-only with a
# RAM overlay, mounts the project folder writable, and hands over to the guest script.
make_initramfs() {
  local stage=$VM/initramfs m
  rm -rf "$stage" && mkdir -p "$stage"/{bin,dev,proc,sys,lower,upper,newroot,modules}
  cp /bin/busybox "$stage/bin/busybox"
  for m in "${MODULES[@]}"; do
    cp "$MODDIR/$m.ko" "$stage/modules/" || die "the kernel has no module $m"
    echo "$(basename "$m").ko" >>"$stage/modules/order"
  done
  cat >"$stage/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
# A module whose dependency is not loaded yet fails: retry in passes (the order differs by kernel).
pending=\$(cat /modules/order)
for pass in 1 2 3 4 5 6; do
  left=
  for m in \$pending; do insmod /modules/\$m 2>/dev/null || left="\$left \$m"; done
  pending=\$left
done
[ -z "\$pending" ] || echo "wine-vm guest: these modules did not load:\$pending"
# msize: 9p's default 8 KiB messages make every file read crawl.
opts=trans=virtio,version=9p2000.L,msize=1048576
mount -t 9p -o \$opts,ro,cache=loose hostroot /lower || echo "wine-vm guest: the host's root did not mount"
mount -t tmpfs -o size=75% tmpfs /upper
mkdir -p /upper/u /upper/w
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/u,workdir=/upper/w /newroot
mount -t 9p -o \$opts,cache=mmap project /newroot$ROOT || echo "wine-vm guest: the project did not mount"
umount /proc
mount --move /dev /newroot/dev
exec switch_root /newroot /bin/sh $VM/guest.sh
EOF
  chmod +x "$stage/init"
  (cd "$stage" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$VM/initramfs.gz"
}

# The second stage, in the guest's real root: the file systems a Linux session has, loopback, the
# command, then power off.
write_guest_script() {
  cat >"$VM/guest.sh" <<EOF
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
ln -sf /proc/self/fd /dev/fd
ln -sf /proc/self/fd/0 /dev/stdin
ln -sf /proc/self/fd/1 /dev/stdout
ln -sf /proc/self/fd/2 /dev/stderr
ip link set lo up
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root WINE_VM=1
export WINE_E2E_OUT=/tmp/wine-e2e WINE_TIME_SCALE=${WINE_TIME_SCALE:-4}
# The benchmarks keep their prefixes under build-bench/bench: RAM too, copied back afterwards.
mount -t tmpfs tmpfs $ROOT/build-bench/bench
cd $ROOT
sh $VM/command >$VM/output.log 2>&1
echo \$? >$VM/exit-code
rm -rf $ROOT/build/wine-e2e && mkdir -p $ROOT/build/wine-e2e
for f in /tmp/wine-e2e/*.log /tmp/wine-e2e/*.png /tmp/wine-e2e/*.txt /tmp/wine-e2e/failures; do
  [ -e "\$f" ] && cp -r "\$f" $ROOT/build/wine-e2e/
done
rm -rf $VM/bench && mkdir -p $VM/bench
(cd $ROOT/build-bench/bench && find . -name '*.log' -o -name '*.txt' -o -name '*.md' | cpio -pdm $VM/bench 2>/dev/null)
sync
echo o >/proc/sysrq-trigger
sleep 10
EOF
}

main() {
  mkdir -p "$VM"
  command -v dpkg-query >/dev/null || die "this script needs a Debian machine"
  ensure_packages
  fetch_kernel
  make_initramfs
  write_guest_script
  local command=("$@")
  ((${#command[@]})) || command=(bash scripts/wine-e2e.sh)
  printf '%q ' "${command[@]}" >"$VM/command"
  echo >>"$VM/command"
  rm -f "$VM/exit-code" "$VM/output.log"
  mkdir -p "$ROOT/build-bench/bench"
  # Half the memory that is free, at most 16 GiB: the guest's root overlay and /tmp live in it.
  local free_mb memory_mb
  free_mb=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
  memory_mb=$((free_mb / 2 > 16384 ? 16384 : free_mb / 2))
  ((memory_mb >= 3072)) || die "only $free_mb MiB of memory are free; the guest needs at least 6 GiB free"
  log "running in the virtual machine: ${command[*]} (output: $VM/output.log)"
  # A plain x86-64 CPU model: QEMU's software "max" model faults on Wine's 32-bit returns
  # (iret to a compatibility-mode segment), this one does not.
  qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt \
    -smp "$(nproc)" -m "$memory_mb" -nographic -no-reboot \
    -kernel "$KERNEL" -initrd "$VM/initramfs.gz" -append "console=ttyS0 quiet panic=-1" \
    -fsdev local,id=root,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=root,mount_tag=hostroot \
    -fsdev local,id=project,path="$ROOT",security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=project,mount_tag=project >"$VM/console.log" 2>&1
  [[ -f $VM/exit-code ]] || die "the virtual machine stopped before the command ended (see $VM/console.log)"
  tail -n 5 "$VM/output.log"
  return "$(cat "$VM/exit-code")"
}

main "$@"
