auto_save_data_path "C:\data\a b"
"unclosed quote
:goto
:GOTO nowhere
	
add_inf_Ormel_standard 1
