#!/bin/sh
# A private CUPS print queue for tests: its own scheduler (cupsd -f in the
# background), configuration, spool and socket in one folder, with a cups-pdf
# queue (A6 added to its PPD) as the default printer, and a second cups-pdf
# queue whose PPD offers an ID-1 card size as card printers' drivers do
# (`*PageSize CR80`, 153.6 x 241.5 pt). Nothing of the system's
# own CUPS is used or changed, except one per-queue cups-pdf setting file
# (/etc/cups/cups-pdf-<queue>.conf: cups-pdf reads its settings only from
# there) that sends the queue's PDF files into the private folder; `stop`
# removes it again.
#
#   eval "$(scripts/cups-queue.sh start [DIR])"
#       starts the instance in DIR (default: a new folder under /tmp) and
#       prints shell assignments: CUPS_SERVER (the socket; programs started
#       with it in their environment print to the private queue),
#       TESSARY_CUPS_DIR, TESSARY_CUPS_QUEUE and TESSARY_CUPS_OUT (the folder
#       the printed PDF files land in, named "<title>.pdf" or
#       "job_<n>-<title>.pdf"), TESSARY_CUPS_CARD_QUEUE and
#       TESSARY_CUPS_CARD_OUT (the card queue and its folder). The page log
#       ($TESSARY_CUPS_DIR/logs/page_log) names each page's queue, job,
#       title, media and print-scaling; the documents CUPS received stay in
#       $TESSARY_CUPS_DIR/spool (d<job>-001) until `stop`.
#   scripts/cups-queue.sh wait DIR [SECONDS]
#       waits until every job of the queue is done (default 60 s); fails when
#       jobs are still pending then.
#   scripts/cups-queue.sh stop DIR
#       stops the scheduler, removes the per-queue setting file and DIR.
#   scripts/cups-queue.sh available
#       succeeds when cupsd, lpadmin and the cups-pdf backend are installed.
#
# Needs root (cups-pdf's backend runs only as root) and the packages cups,
# cups-client, printer-driver-cups-pdf (scripts/install-deps.sh).
# Example:
#   eval "$(scripts/cups-queue.sh start)"
#   trap 'scripts/cups-queue.sh stop "$TESSARY_CUPS_DIR"' EXIT
#   ./my-program-that-prints
#   scripts/cups-queue.sh wait "$TESSARY_CUPS_DIR"; ls "$TESSARY_CUPS_OUT"
set -eu

CUPSD=/usr/sbin/cupsd
LPADMIN=/usr/sbin/lpadmin
BACKEND=/usr/lib/cups/backend/cups-pdf
PPD_SOURCE=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd

available() {
    [ -x "$CUPSD" ] && [ -x "$LPADMIN" ] && [ -x "$BACKEND" ] && [ -f "$PPD_SOURCE" ] && [ "$(id -u)" -eq 0 ]
}

queue_of() { cat "$1/queue"; }
card_queue_of() { sed 's/^TessaryPDF_/TessaryCard_/' "$1/queue"; }

start() {
    if ! available; then
        echo "cups-queue: cupsd, lpadmin or cups-pdf missing, or not root" >&2
        exit 2
    fi
    dir=${1:-}
    if [ -z "$dir" ]; then
        dir=$(mktemp -d /tmp/tessary-cups.XXXXXX)
    fi
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    queue="TessaryPDF_$(basename "$dir" | tr -c 'A-Za-z0-9\n' '_')"
    echo "$queue" > "$dir/queue"
    mkdir -p "$dir/conf/ppd" "$dir/conf/ssl" "$dir/spool/tmp" "$dir/cache" "$dir/state/certs" "$dir/logs" \
             "$dir/out" "$dir/card-out" "$dir/cups-pdf-spool"
    chmod 755 "$dir" "$dir/conf" "$dir/spool" "$dir/cache" "$dir/state" "$dir/logs" "$dir/out" "$dir/card-out"
    chmod 1777 "$dir/spool/tmp" "$dir/cups-pdf-spool"

    cat > "$dir/conf/cupsd.conf" <<CONF
LogLevel warn
Listen $dir/cups.sock
Browsing No
DefaultAuthType None
WebInterface No
MaxJobs 100
PreserveJobHistory Yes
PreserveJobFiles Yes
PageLogFormat %p %j %{job-name} %{media} %{print-scaling}
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
    cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/logs/error_log
AccessLog $dir/logs/access_log
PageLog $dir/logs/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice No
Sandboxing Relaxed
CONF
    chmod 644 "$dir/conf/cupsd.conf" "$dir/conf/cups-files.conf"

    # cups-pdf's settings for this queue only: output into the private folder.
    cat > "/etc/cups/cups-pdf-$queue.conf" <<CONF
Out $dir/out
AnonDirName $dir/out
Spool $dir/cups-pdf-spool
Log $dir/logs
Grp root
GSTmp $dir/spool/tmp
CONF
    card="$(card_queue_of "$dir")"
    sed -e "s|^Out .*|Out $dir/card-out|" -e "s|^AnonDirName .*|AnonDirName $dir/card-out|" \
        "/etc/cups/cups-pdf-$queue.conf" > "/etc/cups/cups-pdf-$card.conf"

    # The cups-pdf PPD knows no A6: add it (105 x 148 mm = 297 x 420 pt).
    ppd="$dir/tessary-pdf.ppd"
    sed -e '/^\*PageSize A5\//a *PageSize A6/A6: "<</PageSize[297 420]/ImagingBBox null>>setpagedevice"' \
        -e '/^\*PageRegion A5\//a *PageRegion A6/A6: "<</PageSize[297 420]/ImagingBBox null>>setpagedevice"' \
        -e '/^\*ImageableArea A5\//a *ImageableArea A6/A6: "0 0 297 420"' \
        -e '/^\*PaperDimension A5\//a *PaperDimension A6/A6: "297 420"' \
        "$PPD_SOURCE" > "$ppd"
    # The card queue's PPD: an ID-1 card size named as card drivers name it,
    # its default, and a duplex option.
    cardppd="$dir/tessary-card.ppd"
    sed -e '/^\*PageSize A5\//a *PageSize CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"' \
        -e '/^\*PageRegion A5\//a *PageRegion CR80/CR80: "<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice"' \
        -e '/^\*ImageableArea A5\//a *ImageableArea CR80/CR80: "0 0 153.6 241.5"' \
        -e '/^\*PaperDimension A5\//a *PaperDimension CR80/CR80: "153.6 241.5"' \
        -e 's/^\*DefaultPageSize: .*/*DefaultPageSize: CR80/' -e 's/^\*DefaultPageRegion: .*/*DefaultPageRegion: CR80/' \
        -e 's/^\*DefaultImageableArea: .*/*DefaultImageableArea: CR80/' \
        -e 's/^\*DefaultPaperDimension: .*/*DefaultPaperDimension: CR80/' \
        "$PPD_SOURCE" > "$cardppd"
    # Card printers print both sides through the standard Duplex option.
    cat >> "$cardppd" <<'PPD'
*OpenUI *Duplex/2-Sided Printing: PickOne
*OrderDependency: 50 AnySetup *Duplex
*DefaultDuplex: None
*Duplex None/Off: "<</Duplex false>>setpagedevice"
*Duplex DuplexNoTumble/Long Edge: "<</Duplex true/Tumble false>>setpagedevice"
*CloseUI: *Duplex
PPD

    "$CUPSD" -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" > "$dir/logs/cupsd.out" 2>&1 &
    echo $! > "$dir/cupsd.pid"

    CUPS_SERVER="$dir/cups.sock"
    export CUPS_SERVER
    i=0
    # Until the scheduler answers ("scheduler is not running" also exits 0).
    until lpstat -r 2>/dev/null | grep -qx "scheduler is running"; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then
            echo "cups-queue: cupsd did not start; see $dir/logs" >&2
            stop "$dir"
            exit 1
        fi
        sleep 0.1
    done
    # From here on a failure leaves nothing running behind.
    trap 'stop "$dir"' EXIT
    "$LPADMIN" -p "$queue" -E -v "cups-pdf:/$queue" -P "$ppd" \
        -o pdftops-renderer-default=pdftocairo -o TitlePref=1 >&2
    "$LPADMIN" -p "$card" -E -v "cups-pdf:/$card" -P "$cardppd" \
        -o pdftops-renderer-default=pdftocairo -o TitlePref=1 >&2
    "$LPADMIN" -d "$queue" >&2
    for q in "$queue" "$card"; do
        cupsenable "$q" >&2 2>/dev/null || true
        cupsaccept "$q" >&2 2>/dev/null || true
    done
    trap - EXIT

    echo "CUPS_SERVER='$CUPS_SERVER'; export CUPS_SERVER"
    echo "TESSARY_CUPS_DIR='$dir'; export TESSARY_CUPS_DIR"
    echo "TESSARY_CUPS_QUEUE='$queue'; export TESSARY_CUPS_QUEUE"
    echo "TESSARY_CUPS_OUT='$dir/out'; export TESSARY_CUPS_OUT"
    echo "TESSARY_CUPS_CARD_QUEUE='$card'; export TESSARY_CUPS_CARD_QUEUE"
    echo "TESSARY_CUPS_CARD_OUT='$dir/card-out'; export TESSARY_CUPS_CARD_OUT"
}

wait_jobs() {
    dir=$1
    seconds=${2:-60}
    CUPS_SERVER="$dir/cups.sock"
    export CUPS_SERVER
    queue=$(queue_of "$dir")
    i=0
    card=$(card_queue_of "$dir")
    while [ -n "$(lpstat -o "$queue" 2>/dev/null)$(lpstat -o "$card" 2>/dev/null)" ]; do
        i=$((i + 1))
        if [ $i -gt $((seconds * 10)) ]; then
            echo "cups-queue: jobs still pending after $seconds s" >&2
            exit 1
        fi
        sleep 0.1
    done
}

stop() {
    dir=$1
    [ -d "$dir" ] || return 0
    if [ -f "$dir/queue" ]; then
        rm -f "/etc/cups/cups-pdf-$(queue_of "$dir").conf" "/etc/cups/cups-pdf-$(card_queue_of "$dir").conf"
    fi
    if [ -f "$dir/cupsd.pid" ]; then
        pid=$(cat "$dir/cupsd.pid")
        if kill "$pid" 2>/dev/null; then
            i=0
            while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do
                sleep 0.1
                i=$((i + 1))
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    case "$dir" in
        /tmp/tessary-cups.*) rm -rf "$dir" ;;
        *) rm -rf "$dir/conf" "$dir/spool" "$dir/cache" "$dir/state" "$dir/cups-pdf-spool" "$dir/cups.sock" \
                  "$dir/cupsd.pid" "$dir/queue" "$dir/tessary-pdf.ppd" "$dir/tessary-card.ppd" ;;
    esac
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    start) start "${1:-}" ;;
    wait) wait_jobs "${1:-${TESSARY_CUPS_DIR:?give the instance folder}}" "${2:-60}" ;;
    stop) stop "${1:-${TESSARY_CUPS_DIR:?give the instance folder}}" ;;
    available) available ;;
    *) echo "usage: $0 start [DIR] | wait DIR [SECONDS] | stop DIR | available" >&2; exit 64 ;;
esac
