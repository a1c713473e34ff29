;;; emacs.el --- Emacs's eglot against vorn-language-server, set up as docs/editors.md says.
;; Opens the program of editor_program.s and writes what the editor received, one line each,
;; to $VORN_OUT: Flymake's diagnostic, the hover eglot asks for, and a rename.
;; Run by emacs_test.sh: emacs --batch -q -l emacs.el.
(require 'eglot)
(define-derived-mode vorn-mode prog-mode "vorn" (setq-local comment-start "; "))
(add-to-list 'eglot-server-programs `(vorn-mode "node" ,(getenv "VORN_SERVER") "--stdio"))
(remove-hook 'flymake-diagnostic-functions #'flymake-proc-legacy-flymake)

(defvar vorn-out nil)
(defun vorn-say (&rest parts)
  (push (mapconcat (lambda (p) (format "%s" p)) parts " ") vorn-out))
(defun vorn-wait (done)  ; at most 10 s
  (let ((n 0))
    (while (and (not (funcall done)) (< n 500))
      (accept-process-output nil 0.02)
      (setq n (1+ n)))))

(find-file (getenv "VORN_SOURCE"))
(vorn-mode)
(apply #'eglot (eglot--guess-contact))  ; what eglot-ensure does at the first command
(vorn-wait #'eglot-current-server)

;; The diagnostic on its line and token, and its explanation on the message's later lines.
(vorn-wait #'flymake-diagnostics)
(dolist (d (flymake-diagnostics))
  (let ((lines (split-string (flymake-diagnostic-text d) "\n")))
    (vorn-say "diagnostic" (line-number-at-pos (flymake-diagnostic-beg d))
              (buffer-substring (flymake-diagnostic-beg d) (flymake-diagnostic-end d))
              (car lines))
    (vorn-say "explained" (length (cdr lines)) "lines")))

;; eglot asks for no markdown: the hover is plain text.
(goto-char (point-min)) (forward-line 3) (forward-char 9)  ; ADD
(let ((contents (plist-get (jsonrpc-request (eglot-current-server) :textDocument/hover
                                            (eglot--TextDocumentPositionParams))
                           :contents)))
  (vorn-say "hover" (plist-get contents :kind)
            (car (split-string (plist-get contents :value) "\n"))))

(goto-char (point-min)) (forward-line 6) (forward-char 2)  ; LATER, where it is defined
(eglot-rename "again")
(vorn-say "renamed" (buffer-substring (point-min) (1- (point-max))))

(with-temp-file (getenv "VORN_OUT")
  (insert (mapconcat #'identity (reverse vorn-out) "\n") "\n"))
(kill-emacs 0)
