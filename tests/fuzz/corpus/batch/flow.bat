ct_rot_ax_is_v 1
images_load "/data/my proj" *.img *.tif # the projections
ct_cor 130.5
ct_set_calc_region nan 1e308 -1 inf
calc_exec
seq_exec_next
:ifng :goto done
:ifok :echo more
done
app_quit
