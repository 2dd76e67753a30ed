#!/usr/bin/env bash
# A private Postfix (SMTP) and Dovecot (POP3) on 127.0.0.1 for the integration tests.
#
#   scripts/mailservers.sh start   installs what is missing, starts both servers, prints the environment
#   scripts/mailservers.sh stop    stops them and removes their folder
#   scripts/mailservers.sh env     prints the environment of servers already running (fails if none)
#   scripts/mailservers.sh ensure  the running servers' environment, else starts them (as root)
#
# Everything lives in one folder (its path is kept in build/mailservers.dir). Ports:
#   SMTP 2525 (STARTTLS offered, AUTH allowed), 2526 (unknown users bounced after acceptance), 2587 (STARTTLS required), 2465 (implicit TLS)
#   POP3 1110 (STLS offered), 1995 (implicit TLS)
# Mailboxes: alice@example.test / alicepw, bob@example.test / bobpw, and box01..box99@example.test
# with password testpw, so that tests running side by side each have mailboxes of their own. The Postfix is strict: it adds no
# Date or Message-ID and refuses bare line feeds, so it does not hide a client's faults.
set -euo pipefail
cd "$(dirname "$0")/.."
state=build/mailservers.dir

install_packages() {
    local missing=()
    for p in postfix dovecot-pop3d openssl; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "The mail-server tests need: sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
    echo "postfix postfix/mailname string localhost" | debconf-set-selections
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q "${missing[@]}" >/dev/null
}

wait_for_greeting() { # port expected-prefix
    for _ in $(seq 1 100); do
        if exec 3<>"/dev/tcp/127.0.0.1/$1" 2>/dev/null; then
            local line=""
            read -r -t 2 line <&3 || true
            exec 3<&- 3>&-
            [[ "$line" == "$2"* ]] && return 0
        fi
        sleep 0.05
    done
    echo "No greeting on port $1" >&2
    return 1
}

start() {
    install_packages
    [ -f "$state" ] && stop
    mkdir -p build
    local T PF DV
    T=$(mktemp -d /tmp/tamberlyn-mail.XXXXXX)
    chmod 755 "$T"
    echo "$T" > "$state"
    PF=$T/postfix DV=$T/dovecot
    mkdir -p "$PF/etc" "$PF/spool" "$PF/data" "$DV/run" "$DV/state" "$T/mail" "$T/tls"
    chown postfix:postfix "$PF/data"
    chown 65534:65534 "$T/mail"
    openssl req -x509 -newkey rsa:2048 -nodes -days 7 -subj /CN=localhost \
        -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
        -keyout "$T/tls/key.pem" -out "$T/tls/cert.pem" 2>/dev/null
    cp /etc/postfix/master.cf "$PF/etc/master.cf"
    cat > "$PF/etc/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $PF/spool
data_directory = $PF/data
maillog_file = $PF/maillog
maillog_file_prefixes = $T
myhostname = mail.example.test
mydomain = example.test
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mydestination =
mynetworks = 127.0.0.0/8
local_transport = error:local delivery disabled
default_transport = discard:outbound delivery disabled in test instance
alias_maps =
alias_database =
virtual_mailbox_domains = example.test
virtual_mailbox_base = $T/mail
virtual_mailbox_maps = texthash:$PF/etc/vmailbox
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_tls_cert_file = $T/tls/cert.pem
smtpd_tls_key_file = $T/tls/key.pem
smtpd_tls_security_level = may
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = $DV/run/auth-postfix
smtpd_error_sleep_time = 0
smtpd_soft_error_limit = 1000
smtpd_hard_error_limit = 1000
local_header_rewrite_clients =
smtpd_forbid_bare_newline = reject
smtpd_forbid_bare_newline_exclusions =
# box10+anything@example.test lands in box10 (VERP bounce addresses); renamed19 is rewritten to an
# unknown user, so that a bounce names another address than the one mailed.
recipient_delimiter = +
virtual_alias_maps = texthash:$PF/etc/valias
CONF
    printf 'renamed19@example.test moved19@example.test\n' > "$PF/etc/valias"
    # alice and bob, and box01..box99 for tests that run side by side: each test program keeps to
    # boxes of its own (tests/README.md lists who has which).
    {
        printf 'alice@example.test example.test/alice/\nbob@example.test example.test/bob/\n'
        for n in $(seq -w 1 99); do printf 'box%s@example.test example.test/box%s/\n' "$n" "$n"; done
    } > "$PF/etc/vmailbox"
    local C="-c $PF/etc"
    postconf $C -M# smtp/inet
    postconf $C -F '*/*/chroot = n'
    postconf $C -Me '127.0.0.1:2525/inet = 127.0.0.1:2525 inet n - n - - smtpd'
    # 2526 accepts unknown users and bounces them afterwards: a real delivery-status report
    # for the sender's mailbox.
    postconf $C -Me '127.0.0.1:2526/inet = 127.0.0.1:2526 inet n - n - - smtpd'
    postconf $C -P '127.0.0.1:2526/inet/smtpd_reject_unlisted_recipient=no'
    postconf $C -Me '127.0.0.1:2587/inet = 127.0.0.1:2587 inet n - n - - smtpd'
    postconf $C -P '127.0.0.1:2587/inet/smtpd_tls_security_level=encrypt' \
        '127.0.0.1:2587/inet/smtpd_tls_auth_only=yes' \
        '127.0.0.1:2587/inet/smtpd_client_restrictions=permit_sasl_authenticated,reject'
    postconf $C -Me '127.0.0.1:2465/inet = 127.0.0.1:2465 inet n - n - - smtpd'
    postconf $C -P '127.0.0.1:2465/inet/smtpd_tls_wrappermode=yes' \
        '127.0.0.1:2465/inet/smtpd_client_restrictions=permit_sasl_authenticated,reject'
    cat > "$DV/dovecot.conf" <<CONF
base_dir = $DV/run
state_dir = $DV/state
instance_name = dovecot-tamberlyn
log_path = $DV/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$T/tls/cert.pem
ssl_key = <$T/tls/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
mail_location = maildir:$T/mail/%d/%n
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $DV/users
}
passdb {
  driver = static
  args = password=testpw
}
userdb {
  driver = static
  args = uid=65534 gid=65534 home=$T/mail/%d/%n
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = 1110
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = 1995
    ssl = yes
  }
}
service auth {
  unix_listener auth-postfix {
    mode = 0660
    user = postfix
    group = postfix
  }
}
CONF
    printf 'alice@example.test:{PLAIN}alicepw\nbob@example.test:{PLAIN}bobpw\n' > "$DV/users"
    # Dovecot first: Postfix needs its authentication socket.
    dovecot -c "$DV/dovecot.conf"
    wait_for_greeting 1110 "+OK"
    postfix -c "$PF/etc" start >/dev/null 2>&1
    wait_for_greeting 2525 "220"
    print_env "$T"
}

print_env() {
    cat <<ENV
TAMBERLYN_TEST_MAIL_DIR=$1/mail
TAMBERLYN_TEST_SMTP_PORT=2525
TAMBERLYN_TEST_POP3_PORT=1110
TAMBERLYN_TEST_CERT=$1/tls/cert.pem
ENV
}

# The environment of servers that are already running; fails when there are none.
running_env() {
    [ -f "$state" ] || return 1
    (exec 3<>/dev/tcp/127.0.0.1/2525) 2>/dev/null || return 1
    (exec 3<>/dev/tcp/127.0.0.1/1110) 2>/dev/null || return 1
    print_env "$(cat "$state")"
}

stop() {
    [ -f "$state" ] || return 0
    local T
    T=$(cat "$state")
    postfix -c "$T/postfix/etc" stop >/dev/null 2>&1 || true
    if [ -f "$T/dovecot/run/master.pid" ]; then
        kill -TERM "$(cat "$T/dovecot/run/master.pid")" 2>/dev/null || true
    fi
    for _ in $(seq 1 60); do
        (exec 3<>/dev/tcp/127.0.0.1/1110) 2>/dev/null || break
        sleep 0.05
    done
    rm -rf "$T" "$state"
}

# Servers for a test or benchmark run: the running ones, else (as root) new ones, marked with
# TAMBERLYN_MAILSERVERS_STARTED=1 so that the caller stops them; not as root, none.
ensure() {
    running_env && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Not root: the real mail servers cannot be started; what needs them is skipped." >&2
        return 0
    fi
    start
    echo TAMBERLYN_MAILSERVERS_STARTED=1
}

case "${1:-}" in
start) start ;;
stop) stop ;;
env) running_env ;;
ensure) ensure ;;
*)
    echo "usage: $0 start|stop|env|ensure" >&2
    exit 2
    ;;
esac
