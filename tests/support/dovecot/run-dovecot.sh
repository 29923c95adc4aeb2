#!/bin/bash
# Starts or stops a throwaway dovecot POP3 server for tests.
#
#   run-dovecot.sh start <folder> <port> <user> <password> <message-count> [<tls-port> [<imap-port> <imaps-port>]]
#   run-dovecot.sh stop  <folder>
#
# "start" writes a configuration, a passwd-file user and a maildir holding
# <message-count> messages into <folder>, starts dovecot listening for POP3 on
# 127.0.0.1:<port> only, and waits until the port accepts connections. With
# <tls-port> it also makes a throwaway authority and a certificate for
# localhost in <folder>/tls (see ../tls/make-certificates.sh), listens for
# POP3 over TLS on 127.0.0.1:<tls-port>, and requires TLS for every login:
# on <port> only after STLS. On any failure it prints the server's log and
# exits non-zero. With <imap-port> and <imaps-port> (TLS only) it also serves
# IMAP on 127.0.0.1:<imap-port> (login after STARTTLS only) and IMAP over TLS
# on 127.0.0.1:<imaps-port>. "stop" ends the server started in <folder>.
set -eu

dovecot_bin=${DOVECOT:-/usr/sbin/dovecot}

usage() {
    echo "usage: $0 start <folder> <port> <user> <password> <message-count> [<tls-port> [<imap-port> <imaps-port>]]" >&2
    echo "       $0 stop <folder>" >&2
    exit 2
}

show_log() {
    echo "---- dovecot log ($1/dovecot.log) ----" >&2
    cat "$1/dovecot.log" >&2 2>/dev/null || echo "(no log written)" >&2
    echo "---- end of dovecot log ----" >&2
}

# True once something accepts TCP connections on 127.0.0.1:$1.
port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

write_messages() {
    maildir=$1 count=$2 i=1
    mkdir -p "$maildir/cur" "$maildir/new" "$maildir/tmp"
    while [ "$i" -le "$count" ]; do
        printf 'From: sender%d@example.org\r\nTo: user@example.org\r\nSubject: Test message %d\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nMessage-ID: <test-%d@example.org>\r\n\r\nBody of test message %d.\r\n' \
            "$i" "$i" "$i" "$i" >"$maildir/new/1704103200.M${i}P1.vindel-test"
        i=$((i + 1))
    done
}

start() {
    [ $# -eq 5 ] || [ $# -eq 6 ] || [ $# -eq 8 ] || usage
    folder=$1 port=$2 user=$3 password=$4 count=$5 tls_port=${6:-} imap_port=${7:-} imaps_port=${8:-}
    case $imap_port$imaps_port in *[!0-9]*) echo "IMAP ports must be numbers" >&2; exit 2 ;; esac
    case $port in '' | *[!0-9]*) echo "port must be a number: $port" >&2; exit 2 ;; esac
    case $tls_port in *[!0-9]*) echo "TLS port must be a number: $tls_port" >&2; exit 2 ;; esac
    case $count in '' | *[!0-9]*) echo "message count must be a number: $count" >&2; exit 2 ;; esac
    case $user$password in *:* | *"
"*) echo "user and password must not contain ':' or a line break" >&2; exit 2 ;; esac
    [ -x "$dovecot_bin" ] || { echo "dovecot not found at $dovecot_bin (package dovecot-pop3d)" >&2; exit 1; }
    protocols=pop3 imap_settings=
    if [ -n "$imap_port" ]; then
        [ -x /usr/lib/dovecot/imap ] || { echo "dovecot's IMAP server not found (package dovecot-imapd)" >&2; exit 1; }
        protocols="pop3 imap"
        imap_settings="service imap-login {
  chroot =
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $imaps_port
    ssl = yes
  }
}"
    fi

    mkdir -p "$folder"
    folder=$(cd "$folder" && pwd)
    if [ -f "$folder/dovecot.conf" ]; then
        "$dovecot_bin" -c "$folder/dovecot.conf" stop >/dev/null 2>&1 || true
    fi
    rm -rf "$folder/run" "$folder/home"
    : >"$folder/dovecot.log"

    if [ "$(id -u)" -eq 0 ]; then
        # As root the service users of Debian's package exist and are used,
        # but authentication runs as root: the users file may lie in a
        # folder that only root can enter (a 0700 temporary folder).
        internal_user=dovecot internal_group=dovecot login_user=dovenull auth_user=root
        # dovecot refuses uid 0 for a mail user: the mailbox belongs to the
        # internal user instead, which must be able to reach it.
        uid=$(id -u dovecot) gid=$(id -g dovecot)
        chmod 0711 "$folder"
    else
        # Unprivileged: every process runs as the caller.
        internal_user=$(id -un) internal_group=$(id -gn) login_user=$(id -un) auth_user=$(id -un)
        uid=$(id -u) gid=$(id -g)
    fi

    mkdir -p "$folder/home/$user"
    write_messages "$folder/home/$user/Maildir" "$count"
    chown -R "$uid:$gid" "$folder/home"
    if [ "$(id -u)" -eq 0 ] && ! runuser -u dovecot -- test -r "$folder/home/$user/Maildir/new"; then
        echo "the mailbox in $folder is out of reach for user dovecot: a parent folder is not" >&2
        echo "searchable by others (chmod o+x it, or use a folder under one that is)" >&2
        exit 1
    fi
    if [ -n "$tls_port" ]; then
        "$(dirname "$0")/../tls/make-certificates.sh" "$folder/tls" >>"$folder/dovecot.log" 2>&1 || {
            echo "cannot make the test certificates" >&2
            show_log "$folder"
            exit 1
        }
        ssl_settings="ssl = required
ssl_cert = <$folder/tls/server.pem
ssl_key = <$folder/tls/server.key
ssl_min_protocol = TLSv1.2"
        pop3s_port=$tls_port pop3s_address=127.0.0.1
    else
        ssl_settings="ssl = no"
        pop3s_port=0 pop3s_address=127.0.0.1
    fi
    printf '%s:{PLAIN}%s:%s:%s::%s::nodelay=yes\n' "$user" "$password" "$uid" "$gid" "$folder/home/$user" >"$folder/users"

    cat >"$folder/dovecot.conf" <<CONF
# Throwaway test configuration: POP3 on 127.0.0.1:$port only (and over TLS on
# 127.0.0.1:$pop3s_port when that is not 0).
protocols = $protocols
listen = 127.0.0.1
base_dir = $folder/run
state_dir = $folder/run/state
log_path = $folder/dovecot.log
info_log_path = $folder/dovecot.log
debug_log_path = $folder/dovecot.log
$ssl_settings
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
default_internal_user = $internal_user
default_internal_group = $internal_group
default_login_user = $login_user
first_valid_uid = $uid
last_valid_uid = 0
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $folder/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $folder/users
}
# A failed login is answered at once: no penalty that grows with each
# failure, no fixed delay (the tests fail logins on purpose).
# No chroot: an unprivileged caller cannot chroot, and tests need none.
service anvil {
  chroot =
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service auth {
  user = $auth_user
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    address = $pop3s_address
    port = $pop3s_port
    ssl = yes
  }
}
$imap_settings
CONF

    if ! "$dovecot_bin" -c "$folder/dovecot.conf" >>"$folder/dovecot.log" 2>&1; then
        echo "dovecot failed to start" >&2
        show_log "$folder"
        exit 1
    fi
    tries=0
    until port_open "$port" && { [ -z "$tls_port" ] || port_open "$tls_port"; } &&
        { [ -z "$imap_port" ] || { port_open "$imap_port" && port_open "$imaps_port"; }; }; do
        tries=$((tries + 1))
        if [ "$tries" -ge 100 ]; then
            echo "dovecot did not accept connections on 127.0.0.1:$port within 10 s" >&2
            show_log "$folder"
            "$dovecot_bin" -c "$folder/dovecot.conf" stop >/dev/null 2>&1 || true
            exit 1
        fi
        sleep 0.1
    done
}

stop() {
    [ $# -ge 1 ] || usage
    folder=$1
    [ -f "$folder/dovecot.conf" ] || exit 0
    "$dovecot_bin" -c "$folder/dovecot.conf" stop >/dev/null 2>&1 || true
    # Wait until the master has gone, so that the port is free again.
    tries=0
    while [ -f "$folder/run/master.pid" ] && kill -0 "$(cat "$folder/run/master.pid" 2>/dev/null)" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -ge 100 ] && break
        sleep 0.1
    done
}

[ $# -ge 1 ] || usage
command=$1
shift
case $command in
start) start "$@" ;;
stop) stop "$@" ;;
*) usage ;;
esac
