-- Neovim's own LSP client (0.7 and later) against vorn-language-server: opens a program with an
-- error, then the same program fixed, and writes what the editor received, one line each, to
-- $VORN_OUT. Run by neovim_test.sh: nvim --headless -u NONE -l/-c luafile.
local out = {}
local function say(...) table.insert(out, table.concat({...}, ' ')) end
local function finish()
  vim.fn.writefile(out, os.getenv('VORN_OUT'))
  vim.cmd('qa!')
end

vim.cmd('edit ' .. os.getenv('VORN_SOURCE'))
local buf = vim.api.nvim_get_current_buf()
local id = vim.lsp.start_client({name = 'vorn', cmd = {'node', os.getenv('VORN_SERVER'), '--stdio'},
                                 root_dir = vim.fn.getcwd()})
vim.lsp.buf_attach_client(buf, id)
local client = vim.lsp.get_client_by_id(id)

-- The diagnostic of the program as opened, on its line and token (0-based, as Neovim keeps it).
vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end, 20)
for _, d in ipairs(vim.diagnostic.get(buf)) do
  local first, rest = d.message:match("^([^\n]*)\n(.*)$")
  say("diagnostic", d.lnum, d.col, d.end_lnum, d.end_col, first)
  say("explained", #vim.split(rest, "\n"), "lines")
end

-- The program fixed: the error goes.
vim.api.nvim_buf_set_lines(buf, 4, 5, false, {'        JMP LATER'})
vim.wait(10000, function() return #vim.diagnostic.get(buf) == 0 end, 20)
say('diagnostics after the fix', #vim.diagnostic.get(buf))

local function at(line, col)  -- 1-based line, 0-based byte column
  vim.api.nvim_win_set_cursor(0, {line, col})
  return vim.lsp.util.make_position_params()
end
local function ask(method, params)
  local answer = client.request_sync(method, params, 10000, buf)
  return answer and answer.result
end

local hover = ask('textDocument/hover', at(4, 9))  -- ADD
say('hover', (hover.contents.value:gsub('\n', ' | ')))
local definition = ask('textDocument/definition', at(5, 13))  -- LATER, used before its definition
for _, l in ipairs(definition) do say('definition', l.range.start.line, l.range.start.character) end
local params = at(5, 13)
params.context = {includeDeclaration = true}
for _, l in ipairs(ask('textDocument/references', params)) do
  say('reference', l.range.start.line, l.range.start.character, l.range['end'].character)
end
params = at(5, 13)
params.newName = 'again'
vim.lsp.util.apply_workspace_edit(ask('textDocument/rename', params), 'utf-16')
for k, line in ipairs(vim.api.nvim_buf_get_lines(buf, 0, -1, false)) do say('renamed', k, line) end
finish()
