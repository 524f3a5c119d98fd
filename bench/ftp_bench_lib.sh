# Shared by the FTP benchmark scripts (sourced, not run): a scratch folder,
# an FTP server on 127.0.0.1 serving a folder, and lftp on it. The server is
# pyftpdlib (user "bench"), or with FTP_SERVER=vsftpd or FTP_SERVER=pure-ftpd
# vsftpd or pure-ftpd, which need root and the test user qvltest of
# scripts/setup; $ftp_user and $ftp_pass name the login, and $remote_root
# is what the served folder is called on the server. The caller sets $build and $tool first.
# With FTP_LOG=FILE the server writes a line for each transfer there (vsftpd's
# transfer log, pure-ftpd's CLF log, pyftpdlib's command log). With NO_MDTM=1
# vsftpd refuses MDTM (cmds_denied=MDTM), as some hosting servers do.

[ -x "$tool" ] || { echo "build first: $tool is missing" >&2; exit 1; }
command -v lftp >/dev/null || { echo "lftp is missing (run scripts/setup)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

ftp_user=bench
ftp_pass=bench-pw
case "${FTP_SERVER:-}" in vsftpd|pure-ftpd) ftp_user=qvltest; ftp_pass=qvltest-pw ;; esac
# What the server's paths start with: pure-ftpd shuts nobody in a folder,
# so its paths are the served folder's own.
remote_root=

# Waits (at most five seconds) until something answers on $port.
wait_for_port() {
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null && break
    sleep 0.1
  done
}

# start_ftp_server FOLDER: serves FOLDER; sets $port.
start_ftp_server() {
  [ -z "${NO_MDTM:-}" ] || [ "${FTP_SERVER:-}" = vsftpd ] || { echo "NO_MDTM needs FTP_SERVER=vsftpd" >&2; exit 1; }
  port=$(free_port)
  local low
  low=$(free_port)
  if [ "${FTP_SERVER:-}" = pure-ftpd ]; then
    low=$((10000 + RANDOM % 18000))
    chmod 755 "$work"
    chown -R qvltest: "$1"
    remote_root=$1
    /opt/qvl-pure-ftpd/usr/sbin/pure-ftpd -S "127.0.0.1,$port" -4 -H -E -l unix \
      -p "$low:$((low + 2000))" ${FTP_LOG:+-O "clf:$FTP_LOG"} >/dev/null 2>&1 &
    server_pid=$!
    wait_for_port
    return
  fi
  if [ "${FTP_SERVER:-}" = vsftpd ]; then
    # Passive ports below the system's ephemeral range, and many of them:
    # thousands of data connections leave their ports waiting a while.
    low=$((10000 + RANDOM % 18000))
    # The folder is the test user's root ("/" on the server).
    chmod 755 "$work"
    chown -R qvltest: "$1"
    mkdir -p /var/run/vsftpd/empty
    cat >"$work/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
local_enable=YES
write_enable=YES
anonymous_enable=NO
seccomp_sandbox=NO
secure_chroot_dir=/var/run/vsftpd/empty
pam_service_name=vsftpd
local_root=$1
chroot_local_user=YES
allow_writeable_chroot=YES
local_umask=022
pasv_enable=YES
pasv_min_port=$low
pasv_max_port=$((low + 2000))
use_localtime=YES
xferlog_enable=NO
connect_from_port_20=NO
max_per_ip=0
max_clients=0
EOF
    [ -n "${NO_MDTM:-}" ] && echo "cmds_denied=MDTM" >>"$work/vsftpd.conf"
    [ -n "${FTP_LOG:-}" ] && printf 'xferlog_enable=YES\nvsftpd_log_file=%s\n' "$FTP_LOG" >>"$work/vsftpd.conf"
    /usr/sbin/vsftpd "$work/vsftpd.conf" >/dev/null 2>&1 &
    server_pid=$!
    wait_for_port
    return
  fi
  /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -d "$1" -u bench -P bench-pw \
    -r "$low-$((low + 50))" >/dev/null 2>"${FTP_LOG:-/dev/null}" &
  server_pid=$!
  wait_for_port
}

# lftp_run "COMMANDS": one lftp session on the server, passive, no retries.
lftp_run() {
  lftp -u "$ftp_user,$ftp_pass" -p "$port" \
    -e "set ftp:passive-mode on; set net:max-retries 1; set cmd:fail-exit yes; $1; quit" 127.0.0.1
}

seconds() { # runs a command, prints its wall time in seconds
  local t0 t1
  # What the rows before wrote goes to the disk first: no row pays for the
  # write-back of another's files.
  sync
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  python3 -c "print('%.2f' % ($t1 - $t0))"
}
