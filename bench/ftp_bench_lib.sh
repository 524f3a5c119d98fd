# Shared by the FTP benchmark scripts (sourced, not run): a scratch folder,
# pyftpdlib on 127.0.0.1 serving a folder as user "bench", and lftp on it.
# The caller sets $build and $tool first.

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

# start_ftp_server FOLDER: serves FOLDER; sets $port.
start_ftp_server() {
  port=$(free_port)
  local low
  low=$(free_port)
  /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -d "$1" -u bench -P bench-pw \
    -r "$low-$((low + 50))" >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null && break
    sleep 0.1
  done
}

# lftp_run "COMMANDS": one lftp session on the server, passive, no retries.
lftp_run() {
  lftp -u bench,bench-pw -p "$port" \
    -e "set ftp:passive-mode on; set net:max-retries 1; set cmd:fail-exit yes; $1; quit" 127.0.0.1
}
