; nothing here

   ; or here
