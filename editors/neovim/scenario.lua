-- Neovim (0.7 or later) for the two sources of a scenario: a line source
-- NAME_linea.txt gets the file type "scenario_line", a train source
-- NAME_NUMBER-.txt the file type "scenario_train", and both are attached to
-- `scenarioc lsp`, which shows the check's diagnostics as you type, the
-- outline of a source, hover and completion.
--
-- In init.lua:
--   dofile('/path/to/editors/neovim/scenario.lua').setup()
-- or, with this file copied to ~/.config/nvim/lua/scenario.lua:
--   require('scenario').setup({ cmd = { '/path/to/scenarioc', 'lsp' } })
local M = {}

local patterns = { '*_linea.txt', '*-.txt' }

local function directory_of(buf)
  return vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buf), ':p:h')
end

function M.setup(opts)
  opts = opts or {}
  local config = {
    name = 'scenarioc',
    cmd = opts.cmd or { 'scenarioc', 'lsp' },
    -- How a new source is written: Windows-1252, as the simulator reads it.
    init_options = { encoding = 'windows-1252' },
  }
  local group = vim.api.nvim_create_augroup('scenario_sources', { clear = true })

  -- "set filetype" rather than "setfiletype": a *.txt file may already be
  -- "text" by the time this runs.
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = '*_linea.txt',
    command = 'set filetype=scenario_line',
  })
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = '*-.txt',
    command = 'set filetype=scenario_train',
  })

  -- The sources are Windows-1252 text: read a file that is not UTF-8 as
  -- such (not as Latin-1, which lacks the characters of 0x80 to 0x9F), and
  -- write a new source, or one that holds only ASCII, in it. A file kept in
  -- UTF-8 stays so; the check then says what the simulator will show.
  local saved_encodings = nil
  vim.api.nvim_create_autocmd('BufReadPre', {
    group = group,
    pattern = patterns,
    callback = function()
      saved_encodings = vim.o.fileencodings
      vim.o.fileencodings = 'ucs-bom,utf-8,cp1252'
    end,
  })
  vim.api.nvim_create_autocmd('BufReadPost', {
    group = group,
    pattern = patterns,
    callback = function()
      if saved_encodings then
        vim.o.fileencodings = saved_encodings
        saved_encodings = nil
      end
    end,
  })

  local client_id = nil
  vim.api.nvim_create_autocmd('FileType', {
    group = group,
    pattern = { 'scenario_line', 'scenario_train' },
    callback = function(args)
      local buf = args.buf
      local ascii = vim.fn.search('[^\\x00-\\x7f]', 'nw') == 0
      local fenc = vim.bo[buf].fileencoding
      if fenc == '' or (fenc == 'utf-8' and ascii) then
        vim.bo[buf].fileencoding = 'cp1252'
      end
      if vim.fn.filereadable(vim.api.nvim_buf_get_name(buf)) == 0 then
        vim.bo[buf].fileformat = 'dos'
      end

      if vim.lsp.start then
        -- 0.8 and later: one server per directory, reused.
        vim.lsp.start(vim.tbl_extend('force', config,
          { root_dir = directory_of(buf) }), { bufnr = buf })
        return
      end
      -- 0.7: one server for the session.
      if client_id == nil or vim.lsp.get_client_by_id(client_id) == nil then
        client_id = vim.lsp.start_client(vim.tbl_extend('force', config,
          { root_dir = directory_of(buf) }))
      end
      if client_id then
        vim.lsp.buf_attach_client(buf, client_id)
      end
    end,
  })
end

return M
