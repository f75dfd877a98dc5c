loop
:echo round
show_tab 4 \
  # continued
seq_exec_next
:ifok :goto loop
:ifng :ifok :stop
:end
