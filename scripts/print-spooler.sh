# Sourced: a private CUPS spooler with one PDF printer, for the printing tests. Nothing system-wide is
# touched: the spooler's configuration, state, socket and output live under the folder given, and it is
# stopped by its own process id.
#   quorle_start_spooler DIR   starts cupsd, adds the default printer "QuorlePDF"; exports CUPS_SERVER
#                              and QUORLE_PRINT_PDF (where each job's PDF lands); non-zero on failure
#                              with QUORLE_PRINT_ERROR saying why
#   quorle_stop_spooler        stops it

quorle_start_spooler() {
  local dir=$1
  unset QUORLE_PRINT_PDF
  export QUORLE_PRINT_ERROR=""
  local ppd=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
  if ! command -v cupsd >/dev/null || ! command -v lpadmin >/dev/null || [ ! -f "$ppd" ]; then
    export QUORLE_PRINT_ERROR="cupsd, lpadmin or the PDF printer description is missing (packages cups, printer-driver-cups-pdf)"
    return 1
  fi
  rm -rf "$dir"
  mkdir -p "$dir"/{root,spool,cache,state,log,out,tmp}
  chmod 1777 "$dir/tmp"
  cat >"$dir/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir/root
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
Sandboxing Relaxed
CONF
  cp "$dir/cupsd.conf" "$dir/root/cupsd.conf"
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  quorle_spooler_pid=$!
  export CUPS_SERVER="$dir/cups.sock"
  local i
  for i in $(seq 1 50); do
    [ -S "$dir/cups.sock" ] && lpstat -r >/dev/null 2>&1 && break
    kill -0 "$quorle_spooler_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! lpstat -r >/dev/null 2>&1; then
    export QUORLE_PRINT_ERROR="the private cupsd did not start; see $dir/log/cupsd.out and $dir/log/error_log"
    quorle_stop_spooler
    return 1
  fi
  if ! lpadmin -p QuorlePDF -E -v "file://$dir/out/job.pdf" -P "$ppd" >"$dir/log/lpadmin.out" 2>&1 ||
     ! lpadmin -d QuorlePDF >>"$dir/log/lpadmin.out" 2>&1; then
    export QUORLE_PRINT_ERROR="lpadmin could not add the PDF printer; see $dir/log/lpadmin.out"
    quorle_stop_spooler
    return 1
  fi
  export QUORLE_PRINT_PDF="$dir/out/job.pdf"
}

quorle_stop_spooler() {
  if [ -n "${quorle_spooler_pid:-}" ]; then
    kill "$quorle_spooler_pid" 2>/dev/null
    wait "$quorle_spooler_pid" 2>/dev/null
    quorle_spooler_pid=""
  fi
}
